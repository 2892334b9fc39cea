// An ALSA I/O plugin for the tests, loaded by ALSA itself from the private configuration
// (alsa_capture.h): a playback PCM of the device's format that plays at a pace the
// configuration sets, so that blocks stay in the device long enough for a reset to find
// them. Parameters:
//   rate        frames it plays a second: 0 never plays (frozen), 44100 is real time
//   fail_after  frames it accepts before every write fails as an unplugged device's
//               would (-ENODEV); 0 never fails
//   hardware_rate  the one sample rate it takes (44100 unless set)
//   lagging     1: reports no delay at all, and its descriptor never wakes poll(),
//               though it plays (a sound server that reports too little delay)
//   hidden_delay  frames its delay leaves out, as a sound server's estimate can: once it
//               reports none, that many may still be to play
//   record      a file to which it appends every frame as it is handed over (the file
//               PCM in front writes only what has been played)
//   played      a file to which it writes, when closed, how many frames it played: a
//               close drops those not yet played, as a sound server's does

#include <alsa/asoundlib.h>
#include <alsa/pcm_external.h>
#include <fcntl.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <ctime>
#include <new>
#include <string>
#include <string_view>

namespace {

struct TestPcm {
    snd_pcm_ioplug_t io{};
    long rate = 0;
    long failAfter = 0;
    long hardwareRate = 44100;
    long lagging = 0;
    long hiddenDelay = 0;
    std::uint64_t accepted = 0;
    std::uint64_t played = 0;  // in the runs before this one
    int playedFile = -1;
    int timer = -1;
    int record = -1;
    bool running = false;
    timespec started{};
    snd_pcm_uframes_t startPosition = 0;  // the hardware position when playing started
};

TestPcm& of(snd_pcm_ioplug_t* io)
{
    return *static_cast<TestPcm*>(io->private_data);
}

std::uint64_t elapsedNanoseconds(const timespec& since)
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec - since.tv_sec) * 1'000'000'000u +
           static_cast<std::uint64_t>(now.tv_nsec) - static_cast<std::uint64_t>(since.tv_nsec);
}

void armTimer(TestPcm& pcm, bool running)
{
    // While playing, poll() wakes every 5 ms to see whether room has come free.
    itimerspec tick{};
    if (running && pcm.rate > 0 && pcm.lagging == 0) {
        tick.it_interval.tv_nsec = 5'000'000;
        tick.it_value.tv_nsec = 5'000'000;
    }
    timerfd_settime(pcm.timer, 0, &tick, nullptr);
}

int start(snd_pcm_ioplug_t* io)
{
    TestPcm& pcm = of(io);
    clock_gettime(CLOCK_MONOTONIC, &pcm.started);
    pcm.startPosition = io->hw_ptr;
    pcm.running = true;
    armTimer(pcm, true);
    return 0;
}

// Frames played since the start (by the clock), and those written since.
std::uint64_t playedInThisRun(const TestPcm& pcm)
{
    return elapsedNanoseconds(pcm.started) * static_cast<std::uint64_t>(pcm.rate) / 1'000'000'000u;
}

std::uint64_t writtenInThisRun(const snd_pcm_ioplug_t* io, const TestPcm& pcm)
{
    return io->appl_ptr - pcm.startPosition;
}

// Also after an underrun, which ALSA ends with a prepare and no stop.
int stop(snd_pcm_ioplug_t* io)
{
    TestPcm& pcm = of(io);
    if (pcm.running) {
        pcm.played += std::min(playedInThisRun(pcm), writtenInThisRun(io, pcm));
    }
    pcm.running = false;
    armTimer(pcm, false);
    return 0;
}

// Frames played since the start; once all those written have played, an underrun.
snd_pcm_sframes_t pointer(snd_pcm_ioplug_t* io)
{
    TestPcm& pcm = of(io);
    if (!pcm.running) {
        return static_cast<snd_pcm_sframes_t>(io->hw_ptr % io->buffer_size);
    }
    const std::uint64_t played = playedInThisRun(pcm);
    if (played >= writtenInThisRun(io, pcm)) {
        return -EPIPE;
    }
    return static_cast<snd_pcm_sframes_t>((pcm.startPosition + played) % io->buffer_size);
}

int delayLessHidden(snd_pcm_ioplug_t* io, snd_pcm_sframes_t* delay)
{
    const TestPcm& pcm = of(io);
    const std::uint64_t written = pcm.running ? writtenInThisRun(io, pcm) : 0;
    const std::uint64_t ahead = written - std::min(pcm.running ? playedInThisRun(pcm) : 0, written);
    const auto hidden = static_cast<std::uint64_t>(pcm.hiddenDelay);
    *delay = static_cast<snd_pcm_sframes_t>(ahead > hidden ? ahead - hidden : 0);
    return 0;
}

snd_pcm_sframes_t transfer(snd_pcm_ioplug_t* io, const snd_pcm_channel_area_t* areas, snd_pcm_uframes_t offset,
                           snd_pcm_uframes_t size)
{
    TestPcm& pcm = of(io);
    if (pcm.failAfter > 0 && pcm.accepted + size > static_cast<std::uint64_t>(pcm.failAfter)) {
        return -ENODEV;
    }
    pcm.accepted += size;
    if (pcm.record >= 0) {
        // Interleaved: the frames stand one after the other from the first channel's area.
        const char* frames = static_cast<const char*>(areas[0].addr) + (areas[0].first + offset * areas[0].step) / 8;
        [[maybe_unused]] const ssize_t written = ::write(pcm.record, frames, size * (areas[0].step / 8));
    }
    return static_cast<snd_pcm_sframes_t>(size);
}

int pollRevents(snd_pcm_ioplug_t* io, struct pollfd* descriptors, unsigned count, unsigned short* revents)
{
    TestPcm& pcm = of(io);
    std::uint64_t ticks = 0;
    [[maybe_unused]] const ssize_t read = ::read(pcm.timer, &ticks, sizeof ticks);
    *revents = count > 0 && (descriptors[0].revents & POLLIN) != 0 ? POLLOUT : 0;
    return 0;
}

int close(snd_pcm_ioplug_t* io)
{
    TestPcm* pcm = &of(io);
    if (pcm->playedFile >= 0) {
        stop(io);
        const std::string count = std::to_string(pcm->played);
        [[maybe_unused]] const ssize_t written = ::write(pcm->playedFile, count.data(), count.size());
        ::close(pcm->playedFile);
    }
    ::close(pcm->timer);
    if (pcm->record >= 0) {
        ::close(pcm->record);
    }
    delete pcm;
    return 0;
}

int noDelay(snd_pcm_ioplug_t*, snd_pcm_sframes_t* delay)
{
    *delay = 0;
    return 0;
}

const snd_pcm_ioplug_callback_t kCallbacks = [] {
    snd_pcm_ioplug_callback_t callbacks{};
    callbacks.start = start;
    callbacks.stop = stop;
    callbacks.prepare = stop;
    callbacks.pointer = pointer;
    callbacks.transfer = transfer;
    callbacks.poll_revents = pollRevents;
    callbacks.close = close;
    return callbacks;
}();

const snd_pcm_ioplug_callback_t kLaggingCallbacks = [] {
    snd_pcm_ioplug_callback_t callbacks = kCallbacks;
    callbacks.delay = noDelay;
    return callbacks;
}();

const snd_pcm_ioplug_callback_t kHidingCallbacks = [] {
    snd_pcm_ioplug_callback_t callbacks = kCallbacks;
    callbacks.delay = delayLessHidden;
    return callbacks;
}();

int setConstraints(snd_pcm_ioplug_t* io, unsigned rate)
{
    static const unsigned accesses[] = {SND_PCM_ACCESS_RW_INTERLEAVED};
    static const unsigned formats[] = {SND_PCM_FORMAT_S16_LE};
    int error = snd_pcm_ioplug_set_param_list(io, SND_PCM_IOPLUG_HW_ACCESS, 1, accesses);
    if (error >= 0) {
        error = snd_pcm_ioplug_set_param_list(io, SND_PCM_IOPLUG_HW_FORMAT, 1, formats);
    }
    if (error >= 0) {
        error = snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_CHANNELS, 2, 2);
    }
    if (error >= 0) {
        error = snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_RATE, rate, rate);
    }
    if (error >= 0) {
        error = snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_PERIOD_BYTES, 256, 65536);
    }
    if (error >= 0) {
        error = snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_PERIODS, 2, 64);
    }
    return error;
}

}  // namespace

extern "C" SND_PCM_PLUGIN_DEFINE_FUNC(pcmwrap_test)
{
    (void)root;
    TestPcm* pcm = new (std::nothrow) TestPcm;
    if (pcm == nullptr) {
        return -ENOMEM;
    }
    snd_config_iterator_t i;
    snd_config_iterator_t next;
    snd_config_for_each(i, next, conf)
    {
        snd_config_t* entry = snd_config_iterator_entry(i);
        const char* id = nullptr;
        snd_config_get_id(entry, &id);
        if (std::string_view(id) == "rate") {
            snd_config_get_integer(entry, &pcm->rate);
        } else if (std::string_view(id) == "fail_after") {
            snd_config_get_integer(entry, &pcm->failAfter);
        } else if (std::string_view(id) == "lagging") {
            snd_config_get_integer(entry, &pcm->lagging);
        } else if (std::string_view(id) == "hidden_delay") {
            snd_config_get_integer(entry, &pcm->hiddenDelay);
        } else if (const char* file = nullptr; std::string_view(id) == "played" && snd_config_get_string(entry, &file) >= 0) {
            pcm->playedFile = ::open(file, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        } else if (std::string_view(id) == "hardware_rate") {
            snd_config_get_integer(entry, &pcm->hardwareRate);
        } else if (const char* file = nullptr; std::string_view(id) == "record" && snd_config_get_string(entry, &file) >= 0) {
            pcm->record = ::open(file, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
        }
    }
    pcm->timer = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    pcm->io.version = SND_PCM_IOPLUG_VERSION;
    pcm->io.name = "pcmwrap test PCM";
    pcm->io.poll_fd = pcm->timer;
    pcm->io.poll_events = POLLIN;
    pcm->io.callback = pcm->lagging != 0 ? &kLaggingCallbacks : pcm->hiddenDelay != 0 ? &kHidingCallbacks : &kCallbacks;
    pcm->io.private_data = pcm;
    int error = pcm->timer < 0 ? -errno : snd_pcm_ioplug_create(&pcm->io, name, stream, mode);
    if (error < 0) {
        if (pcm->timer >= 0) {
            ::close(pcm->timer);
        }
        if (pcm->record >= 0) {
            ::close(pcm->record);
        }
        if (pcm->playedFile >= 0) {
            ::close(pcm->playedFile);
        }
        delete pcm;
        return error;
    }
    error = setConstraints(&pcm->io, static_cast<unsigned>(pcm->hardwareRate));
    if (error < 0) {
        snd_pcm_ioplug_delete(&pcm->io);  // closes through the callback
        return error;
    }
    *pcmp = pcm->io.pcm;
    return 0;
}

extern "C" {
SND_PCM_PLUGIN_SYMBOL(pcmwrap_test)
}
