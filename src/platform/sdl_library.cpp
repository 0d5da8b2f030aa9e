#include "platform/sdl_library.h"

#include <dlfcn.h>

#include <cstdio>
#include <mutex>
#include <string>

namespace velcora::platform {

const SdlFunctions* LoadSdl() {
    static const SdlFunctions* const loaded = []() -> const SdlFunctions* {
        const std::string name = "libSDL2-2.0.so.0";
        void* library = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!library) {
            std::fprintf(stderr, "sound and game controllers are off: %s\n", dlerror());
            return nullptr;
        }
        static SdlFunctions f;
        bool complete = true;
        auto resolve = [&](const char* function) {
            void* found = dlsym(library, function);
            if (!found) {
                std::fprintf(stderr, "sound and game controllers are off: %s lacks %s\n",
                             name.c_str(), function);
                complete = false;
            }
            return found;
        };
#define VELCORA_SDL_RESOLVE(function) \
    f.function = reinterpret_cast<decltype(f.function)>(resolve(#function));
        VELCORA_SDL_FUNCTIONS(VELCORA_SDL_RESOLVE)
#undef VELCORA_SDL_RESOLVE
        f.SDL_TLSCleanup =
            reinterpret_cast<decltype(f.SDL_TLSCleanup)>(dlsym(library, "SDL_TLSCleanup"));
        return complete ? &f : nullptr;
    }();
    return loaded;
}

namespace {
std::mutex subsystems;
}  // namespace

bool StartSdlSubsystem(uint32_t flags) {
    if (!LoadSdl()) {
        return false;
    }
    const std::lock_guard<std::mutex> hold(subsystems);
    return Sdl().SDL_InitSubSystem(flags) == 0;
}

void StopSdlSubsystem(uint32_t flags) {
    const std::lock_guard<std::mutex> hold(subsystems);
    Sdl().SDL_QuitSubSystem(flags);
}

bool StartSdlJoysticks() {
    static const bool started = [] {
        if (!StartSdlSubsystem(SDL_INIT_JOYSTICK)) {
            return false;
        }
        // Nobody runs SDL's event loop here: the poll reads the state itself,
        // so the events would only pile up.
        Sdl().SDL_JoystickEventState(SDL_IGNORE);
        return true;
    }();
    return started;
}

std::thread PreloadSdl() {
    return std::thread([] {
        StartSdlJoysticks();
        if (LoadSdl() && Sdl().SDL_TLSCleanup) {
            Sdl().SDL_TLSCleanup();
        }
    });
}

}  // namespace velcora::platform
