// Uses the installed playback ring as an outside program would: plays a block of
// silence. Prints what went wrong and ends with 1 on any mismatch.

#include <cstdio>

#include <pcmwrap/audio/wave_out.h>
#include <pcmwrap/playback/playback.h>

namespace {

bool check(bool condition, const char* what)
{
    if (!condition) {
        std::printf("consumer: %s\n", what);
    }
    return condition;
}

}  // namespace

int main()
{
    static const BYTE silence[kPlaybackBlockBytes] = {};
    if (!check(playback_open() == 0, "playback_open failed")) {
        return 1;
    }
    bool ok = check(playback_queue(silence, sizeof silence, nullptr) == 0, "playback_queue failed");
    ok = check(playback_queue(silence, kPlaybackBlockBytes + 1, nullptr) == PLAYBACK_ERR_BLOCK_TOO_LONG,
               "an overlong block was accepted") &&
         ok;
    playback_reset();
    ok = check(playback_close() == 0, "playback_close failed") && ok;
    return ok ? 0 : 1;
}
