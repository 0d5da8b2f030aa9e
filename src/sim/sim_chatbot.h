// The robot's chat-bot script: one script file under the robot's data folder,
// read back in chunks and replaced by uploads that are acknowledged chunk by
// chunk.
#pragma once

#include <cstdint>
#include <string>

#include "sim/sim_robot.h"

namespace velcora::sim {

struct SimChatBot {
    std::string memory;  // the script itself when the robot has no data folder
    // A download reads from a copy taken at its first request, so that an
    // upload landing meanwhile cannot mix two scripts.
    std::string snapshot;
    bool haveSnapshot = false;
    // The upload in progress: what has come in so far, without gaps.
    std::string upload;
    int32_t uploadTotal = -1;  // -1: none
    int acknowledgements = 0;  // counted over the robot's life, lost ones too
};

// "<root>/chatbot/script.txt"; empty when the robot has no data folder.
std::string ChatBotScriptPath(const CSimRobot& robot);
// The script as the robot holds it now; false when its file cannot be read.
bool LoadChatBotScript(CSimRobot& robot, std::string& bytes);

}  // namespace velcora::sim
