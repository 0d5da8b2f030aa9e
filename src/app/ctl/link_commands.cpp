// velcoractl commands for the connection itself: status.
#include <cmath>
#include <cstdio>

#include "app/ctl/ctl.h"
#include "app/ctl/session.h"
#include "link/robot_status.h"

namespace velcora::ctl {

namespace {

constexpr uint32_t kStatusWaitMs = 10000;

std::string Number(float v) {
    if (!std::isfinite(v))
        return "null";
    char text[32];
    std::snprintf(text, sizeof(text), "%.7g", static_cast<double>(v));
    return text;
}

int Status(Args& args) {
    ConnectionOptions options;
    std::string error;
    const bool json = args.Flag("--json");
    if (!TakeConnectionOptions(args, options, error))
        return UsageError(error);
    if (auto e = args.Error())
        return UsageError(*e);
    if (!args.Rest().empty())
        return UsageError("status takes no arguments");

    Session session(options);
    bool got = false;
    RobotStatus status;
    session.On(msg::kStatus, [&](CStream& s, int32_t length) {
        status = DecodeRobotStatus(s, length);
        got = true;
    });
    // A link that breaks is ridden through the connection's own retries, and
    // the request asked again after each reconnect.
    session.SetReconnectHandler([&] { session.Send(msg::kStatus); });
    if (const int rc = session.Open(); rc != kExitDone)
        return rc;
    session.Send(msg::kStatus);
    const auto outcome = session.RunUntil([&] { return got; }, kStatusWaitMs);
    if (outcome != Session::Outcome::Done)
        return session.ExitFor(outcome, "velcoractl: the robot did not answer the status request");

    if (json) {
        std::printf(
            "{\"battery\":%u,\"charging\":%s,\"height\":%s,\"randomWalk\":%s,\"emotion\":%s}\n",
            status.battery, status.charging ? "true" : "false", Number(status.height).c_str(),
            !status.randomWalk ? "null" : (*status.randomWalk ? "true" : "false"),
            !status.emotion ? "null" : std::to_string(*status.emotion).c_str());
    } else {
        std::printf("battery: %s%u%%\n", status.charging ? "±" : "", status.battery);
        std::printf("charging: %s\n", status.charging ? "yes" : "no");
        std::printf("height: %.1f\n", static_cast<double>(status.height));
        if (status.randomWalk)
            std::printf("random walk: %s\n", *status.randomWalk ? "on" : "off");
        if (status.emotion)
            std::printf("emotion: %d\n", *status.emotion);
    }
    return kExitDone;
}

}  // namespace

void RegisterLinkCommands(Registry& registry) {
    registry.Add({"status", std::string("status [--json] ") + kConnectionSynopsis,
                  "connect, authorise and print the robot's battery, body height and modes",
                  Status});
}

}  // namespace velcora::ctl
