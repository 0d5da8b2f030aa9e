// The media library behind the sound devices and game controllers, opened on
// first use rather than with the program: it brings thirty other libraries
// with it (display servers, sound servers, decoders) that the console would
// otherwise load and relocate before its window could show.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <thread>

namespace velcora::platform {

#define VELCORA_SDL_FUNCTIONS(X) \
    X(SDL_InitSubSystem)         \
    X(SDL_QuitSubSystem)         \
    X(SDL_GetNumAudioDevices)    \
    X(SDL_GetAudioDeviceName)    \
    X(SDL_OpenAudioDevice)       \
    X(SDL_CloseAudioDevice)      \
    X(SDL_PauseAudioDevice)      \
    X(SDL_LockAudioDevice)       \
    X(SDL_UnlockAudioDevice)     \
    X(SDL_JoystickEventState)    \
    X(SDL_JoystickUpdate)        \
    X(SDL_NumJoysticks)          \
    X(SDL_JoystickNameForIndex)  \
    X(SDL_JoystickGetDeviceGUID) \
    X(SDL_JoystickOpen)          \
    X(SDL_JoystickClose)         \
    X(SDL_JoystickGetGUID)       \
    X(SDL_JoystickName)          \
    X(SDL_JoystickGetAttached)   \
    X(SDL_JoystickNumAxes)       \
    X(SDL_JoystickGetAxis)       \
    X(SDL_JoystickNumButtons)    \
    X(SDL_JoystickGetButton)     \
    X(SDL_JoystickNumHats)       \
    X(SDL_JoystickGetHat)

struct SdlFunctions {
#define VELCORA_SDL_POINTER(name) decltype(&::name) name = nullptr;
    VELCORA_SDL_FUNCTIONS(VELCORA_SDL_POINTER)
#undef VELCORA_SDL_POINTER
    // Optional (older libraries lack it): gives back what SDL keeps for the
    // calling thread (its error text), which only SDL's own threads do when
    // they end.
    decltype(&::SDL_TLSCleanup) SDL_TLSCleanup = nullptr;
};

// Opens the library once, from whichever thread comes first (others wait for
// it); nullptr, with a message on stderr, when it or a function is missing.
const SdlFunctions* LoadSdl();

// Only for code that runs once LoadSdl has succeeded (a subsystem started, a
// device or controller open).
inline const SdlFunctions& Sdl() {
    return *LoadSdl();
}

// SDL counts the starts and stops of each subsystem without a lock of its own
// (and starting sound or controllers starts its event subsystem as well), so
// every start and stop in the program goes through these, under one lock.
// Start is false, with nothing started, when the library or the subsystem is
// missing.
bool StartSdlSubsystem(uint32_t flags);
void StopSdlSubsystem(uint32_t flags);

// The controller subsystem, started once for the whole run from whichever
// thread comes first (others wait for it): starting it looks through the
// system's input devices, which takes milliseconds.
bool StartSdlJoysticks();

// Starts opening the library, and then the controller subsystem, on a thread
// of its own, so that both are ready (or nearly) when the controller list
// first needs them; join the thread before the program ends.
std::thread PreloadSdl();

}  // namespace velcora::platform
