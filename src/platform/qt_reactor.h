// The reactor of the desktop programs: the socket and lookup machinery of the
// POSIX reactor, woken by the Qt event loop (socket notifiers and timers), so
// that the link runs on the UI thread beside the windows. Needs a
// QCoreApplication (or QApplication) to exist.
#pragma once

#include <map>
#include <memory>
#include <vector>

#include "platform/posix_reactor.h"

class QObject;
class QSocketNotifier;
class QTimer;

namespace velcora::platform {

class QtReactor : public PosixReactorBase {
  public:
    QtReactor();
    ~QtReactor() override;

    TimerId StartTimer(uint32_t intervalMs, Task task) override;
    void StopTimer(TimerId timer) override;
    void Post(Task task) override;
    bool RunUntil(const std::function<bool()>& done, uint32_t timeoutMs) override;

  protected:
    void InterestChanged(SocketId socket) override;

  private:
    struct Notifiers {
        std::unique_ptr<QSocketNotifier> read;
        std::unique_ptr<QSocketNotifier> write;
    };
    std::unique_ptr<QObject> context_;
    std::unique_ptr<QSocketNotifier> wake_;
    std::map<SocketId, Notifiers> notifiers_;
    std::map<TimerId, std::unique_ptr<QTimer>> timers_;
    // Notifiers and timers that may be inside their own signal when dropped;
    // freed once control is back in the loop.
    std::vector<std::unique_ptr<QObject>> graveyard_;
    TimerId nextTimer_ = 1;
};

}  // namespace velcora::platform
