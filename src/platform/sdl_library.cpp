#include "platform/sdl_library.h"

#include <dlfcn.h>

#include <cstdio>
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
        return complete ? &f : nullptr;
    }();
    return loaded;
}

std::thread PreloadSdl() {
    return std::thread([] { LoadSdl(); });
}

}  // namespace velcora::platform
