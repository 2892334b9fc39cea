#include "tests/support/pulse_server.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace testsupport {
namespace {

bool answers(const std::string& socketPath)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
    const bool connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

void writeText(const std::string& file, const std::string& text)
{
    std::ofstream out(file);
    out << text;
    if (!out.flush()) {
        throw std::runtime_error("cannot write " + file);
    }
}

}  // namespace

PulseServer::PulseServer()
{
    const std::string socketPath = dir_.file("native");
    if (socketPath.size() >= sizeof(sockaddr_un{}.sun_path)) {
        throw std::runtime_error("the server's socket path is too long: " + socketPath);
    }
    std::filesystem::create_directory(dir_.file("run"));
    std::filesystem::create_directory(dir_.file("state"));
    // The sink plays by the clock, whether or not anything reads the FIFO fast.
    writeText(dir_.file("server.pa"),
              "load-module module-pipe-sink sink_name=pcmwrap file=" + dir_.file("sink.fifo") +
                  " format=s16le rate=44100 channels=2 use_system_clock_for_timing=yes\n"
                  "load-module module-native-protocol-unix auth-anonymous=1 socket=" + socketPath + "\n");
    writeText(dir_.file("asound.conf"), std::string("pcm.") + kPulsePcm + " { type pulse server \"unix:" + socketPath +
                                            "\" device pcmwrap }\n");
    if (::mkfifo(dir_.file("sink.fifo").c_str(), 0600) != 0) {
        throw std::runtime_error("cannot make the sink's FIFO");
    }
    sink_ = ::open(dir_.file("sink.fifo").c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (sink_ < 0) {
        throw std::runtime_error("cannot open the sink's FIFO");
    }
    drain_ = std::thread([this] { drainSink(); });

    ProcessOptions options;
    options.extraEnvironment = {"HOME=" + dir_.path().string(), "XDG_RUNTIME_DIR=" + dir_.file("run"),
                                "PULSE_RUNTIME_PATH=" + dir_.file("run"), "PULSE_STATE_PATH=" + dir_.file("state")};
    // As root too; no system or user configuration, no idle exit, no real-time request.
    daemon_ = std::make_unique<ChildProcess>(
        PCMWRAP_PULSEAUDIO,
        std::vector<std::string>{"-n", "-F", dir_.file("server.pa"), "--daemonize=no", "--system=no",
                                 "--exit-idle-time=-1", "--use-pid-file=no", "--disallow-exit", "--realtime=no",
                                 "--high-priority=no", "--log-target=file:" + dir_.file("server.log")},
        options);
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!answers(socketPath)) {
        if (std::chrono::steady_clock::now() > giveUp) {
            throw std::runtime_error("the PulseAudio daemon did not answer; see " + dir_.file("server.log"));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

PulseServer::~PulseServer()
{
    if (daemon_) {
        daemon_->sendSignal(SIGCONT);
        daemon_->sendSignal(SIGTERM);
        daemon_->wait(std::chrono::seconds(5));  // killed past it
    }
    stopping_ = true;
    drain_.join();
    ::close(sink_);
}

void PulseServer::pause()
{
    daemon_->sendSignal(SIGSTOP);
}

void PulseServer::resume()
{
    daemon_->sendSignal(SIGCONT);
}

void PulseServer::kill()
{
    daemon_->sendSignal(SIGKILL);
    daemon_->wait();
    daemon_.reset();
}

std::vector<std::string> PulseServer::environment() const
{
    return {"ALSA_CONFIG_PATH=" + dir_.file("asound.conf"), std::string("PCMWRAP_AUDIO_DEVICE=") + kPulsePcm,
            "PULSE_SERVER=unix:" + dir_.file("native"), "HOME=" + dir_.path().string(),
            "XDG_RUNTIME_DIR=" + dir_.file("run"), "PULSE_RUNTIME_PATH=" + dir_.file("run"),
            "PULSE_COOKIE=" + dir_.file("cookie")};
}

Bytes PulseServer::played() const
{
    const std::lock_guard lock(mutex_);
    return played_;
}

void PulseServer::drainSink()
{
    std::array<std::uint8_t, 65536> buffer{};
    while (!stopping_) {
        pollfd descriptor{sink_, POLLIN, 0};
        if (::poll(&descriptor, 1, 20) <= 0) {
            continue;
        }
        const ssize_t got = ::read(sink_, buffer.data(), buffer.size());
        if (got > 0) {
            const std::lock_guard lock(mutex_);
            played_.insert(played_.end(), buffer.begin(), buffer.begin() + got);
        }
    }
}

Bytes fromFirstSound(const Bytes& stream)
{
    for (std::size_t frame = 0; frame + 4 <= stream.size(); frame += 4) {
        if (stream[frame] != 0 || stream[frame + 1] != 0 || stream[frame + 2] != 0 || stream[frame + 3] != 0) {
            return Bytes(stream.begin() + static_cast<std::ptrdiff_t>(frame), stream.end());
        }
    }
    return {};
}

}  // namespace testsupport
