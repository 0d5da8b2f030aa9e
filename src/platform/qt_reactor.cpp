#include "platform/qt_reactor.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

namespace velcora::platform {

QtReactor::QtReactor() : context_(std::make_unique<QObject>()) {
    wake_ = std::make_unique<QSocketNotifier>(WakeFd(), QSocketNotifier::Read);
    QObject::connect(wake_.get(), &QSocketNotifier::activated, context_.get(),
                     [this] { DrainWake(); });
}

QtReactor::~QtReactor() {
    notifiers_.clear();
    timers_.clear();
    graveyard_.clear();
    wake_.reset();
}

void QtReactor::InterestChanged(SocketId socket) {
    const Interest in = InterestOf(socket);
    if (in.fd < 0) {
        // Closed or finished: the descriptor may go away right after this.
        auto it = notifiers_.find(socket);
        if (it != notifiers_.end()) {
            if (it->second.read)
                it->second.read->setEnabled(false);
            if (it->second.write)
                it->second.write->setEnabled(false);
            // Deleting a notifier from inside its own signal is not allowed.
            if (it->second.read)
                graveyard_.push_back(std::move(it->second.read));
            if (it->second.write)
                graveyard_.push_back(std::move(it->second.write));
            notifiers_.erase(it);
        }
        return;
    }
    Notifiers& n = notifiers_[socket];
    if (!n.read) {
        n.read = std::make_unique<QSocketNotifier>(in.fd, QSocketNotifier::Read);
        QObject::connect(n.read.get(), &QSocketNotifier::activated, context_.get(),
                         [this, socket] { HandleReady(socket, true, false, false); });
        n.write = std::make_unique<QSocketNotifier>(in.fd, QSocketNotifier::Write);
        QObject::connect(n.write.get(), &QSocketNotifier::activated, context_.get(),
                         [this, socket] { HandleReady(socket, false, true, false); });
    }
    n.read->setEnabled(in.read);
    n.write->setEnabled(in.write);
}

TimerId QtReactor::StartTimer(uint32_t intervalMs, Task task) {
    const TimerId id = nextTimer_++;
    auto timer = std::make_unique<QTimer>();
    timer->setTimerType(Qt::PreciseTimer);
    timer->setInterval(static_cast<int>(intervalMs ? intervalMs : 1));
    QObject::connect(timer.get(), &QTimer::timeout, context_.get(), std::move(task));
    timer->start();
    timers_[id] = std::move(timer);
    return id;
}

void QtReactor::StopTimer(TimerId timer) {
    auto it = timers_.find(timer);
    if (it != timers_.end()) {
        it->second->stop();
        graveyard_.push_back(std::move(it->second));
        timers_.erase(it);
    }
}

void QtReactor::Post(Task task) {
    QMetaObject::invokeMethod(context_.get(), std::move(task), Qt::QueuedConnection);
}

bool QtReactor::RunUntil(const std::function<bool()>& done, uint32_t timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    QTimer wakeUp;
    wakeUp.setSingleShot(true);
    for (;;) {
        graveyard_.clear();
        if (done())
            return true;
        const qint64 spent = clock.elapsed();
        if (spent >= static_cast<qint64>(timeoutMs))
            return false;
        // Make sure the wait below ends by the deadline at the latest.
        wakeUp.start(static_cast<int>(static_cast<qint64>(timeoutMs) - spent));
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
}

}  // namespace velcora::platform
