#include "platform/audio_device.h"

#include "platform/sdl_library.h"

namespace velcora::platform {

uint32_t OpenMonoDevice(const MonoDeviceRequest& request, bool& subsystem, uint8_t* silence) {
    if ((request.bits != 8 && request.bits != 16) || request.rate <= 0) {
        return 0;
    }
    if (!StartSdlSubsystem(SDL_INIT_AUDIO)) {
        return 0;
    }
    subsystem = true;
    const int iscapture = request.capture ? 1 : 0;
    const char* name = nullptr;
    if (request.index >= 0) {
        if (request.index >= Sdl().SDL_GetNumAudioDevices(iscapture)) {
            return 0;
        }
        name = Sdl().SDL_GetAudioDeviceName(request.index, iscapture);
    }
    SDL_AudioSpec want{};
    want.freq = request.rate;
    want.format = request.bits == 8 ? AUDIO_U8 : AUDIO_S16SYS;
    want.channels = 1;
    want.samples = request.period;
    want.callback = request.callback;
    want.userdata = request.self;
    SDL_AudioSpec have{};
    // No changes allowed: SDL converts to whatever the hardware takes.
    const SDL_AudioDeviceID device = Sdl().SDL_OpenAudioDevice(name, iscapture, &want, &have, 0);
    if (device != 0 && silence) {
        *silence = have.silence;
    }
    return device;
}

void ReleaseMonoDevice(uint32_t& device, bool& subsystem) {
    if (device != 0) {
        Sdl().SDL_CloseAudioDevice(device);
        device = 0;
    }
    if (subsystem) {
        StopSdlSubsystem(SDL_INIT_AUDIO);
        subsystem = false;
    }
}

}  // namespace velcora::platform
