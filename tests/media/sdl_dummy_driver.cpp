// The media tests never touch a real sound card: SDL's dummy driver consumes
// and produces audio in real time without hardware. Set here as well as by
// the test runner, so that running the test program directly behaves the same.
#include <cstdlib>

namespace {

const bool kDummyAudio = [] {
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    return true;
}();

}  // namespace
