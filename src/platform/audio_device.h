// The SDL side shared by the sound player and the recorder: both open one
// mono device in the formats the robot's sound comes in.
#pragma once

#include <cstdint>

namespace velcora::platform {

using AudioCallback = void (*)(void* self, uint8_t* stream, int length);

struct MonoDeviceRequest {
    bool capture = false;
    int32_t index = -1;  // the device's place in SDL's list; -1 is the default device
    int32_t rate = 0;
    int32_t bits = 0;     // 8 (unsigned) or 16 (signed, native order)
    uint16_t period = 0;  // samples handed to the callback at a time
    AudioCallback callback = nullptr;
    void* self = nullptr;
};

// Takes the audio subsystem (setting `subsystem` once it is held) and opens
// the device. Returns the SDL device id, or 0 when the format is not one of
// the two, the index is out of range or SDL refuses; the caller then lets go
// through ReleaseMonoDevice. `silence` receives the device's silent byte.
uint32_t OpenMonoDevice(const MonoDeviceRequest& request, bool& subsystem,
                        uint8_t* silence = nullptr);

// Closes the device when one is open and lets go of the subsystem when held.
void ReleaseMonoDevice(uint32_t& device, bool& subsystem);

}  // namespace velcora::platform
