// A simulated robot on its own thread and reactor, for driving it with the
// command-line client's commands from the test's thread. Frames it receives
// are recorded; its state can be read safely once it has stopped.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/posix_reactor.h"
#include "sim/sim_features.h"
#include "sim/sim_robot.h"

namespace velcora::test {

class SimThread {
  public:
    struct Frame {
        msg::Type type;
        std::string payload;
    };

    explicit SimThread(sim::SimOptions options) {
        options.port = 0;
        thread_ = std::thread([this, options] {
            platform::PollReactor reactor;
            sim::CSimRobot robot(reactor, options);
            sim::InstallFeatures(robot);
            robot.OnFrame([this](msg::Type type, std::string_view payload) {
                std::lock_guard<std::mutex> lock(mutex_);
                frames_.push_back({type, std::string(payload)});
            });
            port_ = robot.Start() ? robot.Port() : 1;
            while (!stop_) {
                reactor.RunUntil([this] { return stop_.load(); }, 50);
            }
            if (onStop_) {
                onStop_(robot);
            }
        });
        while (port_ == 0) {
            std::this_thread::yield();
        }
    }
    ~SimThread() { Stop(); }

    uint16_t Port() const { return port_; }
    bool Started() const { return port_ > 1; }

    // Stops the robot; `inspect` runs on its thread just before it goes.
    void Stop(std::function<void(sim::CSimRobot&)> inspect = nullptr) {
        if (!thread_.joinable()) {
            return;
        }
        onStop_ = std::move(inspect);
        stop_ = true;
        thread_.join();
    }

    std::vector<Frame> Frames(msg::Type type) {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<Frame> out;
        for (const auto& f : frames_) {
            if (f.type == type) {
                out.push_back(f);
            }
        }
        return out;
    }

  private:
    std::thread thread_;
    std::atomic<uint16_t> port_{0};
    std::atomic<bool> stop_{false};
    std::function<void(sim::CSimRobot&)> onStop_;
    std::mutex mutex_;
    std::vector<Frame> frames_;
};

}  // namespace velcora::test
