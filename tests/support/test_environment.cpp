// Every test program runs headless: Qt without a display and SDL without a
// sound card, unless the caller chose otherwise.
#include <cstdlib>

namespace {

struct HeadlessEnvironment {
    HeadlessEnvironment() {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        setenv("SDL_AUDIODRIVER", "dummy", 0);
    }
};

const HeadlessEnvironment kHeadless;

}  // namespace
