#pragma once
// Hands a file's data bytes to a consumer (an MD5 hash, a loudness meter) that runs on a
// thread of its own, so that it works beside the conversion rather than after it. The
// bytes are copied into a few large blocks; memory stays those blocks whatever the size.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class BackgroundFeed {
public:
    using Consumer = std::function<void(const std::uint8_t* bytes, std::size_t count)>;

    explicit BackgroundFeed(Consumer consumer);
    // Stops the thread; bytes not yet consumed are dropped.
    ~BackgroundFeed();
    BackgroundFeed(const BackgroundFeed&) = delete;
    BackgroundFeed& operator=(const BackgroundFeed&) = delete;

    // Copies the bytes; waits only when every block is still being consumed.
    void add(const std::uint8_t* bytes, std::size_t count);
    // Returns once the consumer has seen every byte added; rethrows what it threw.
    void drain();

private:
    void hand(std::size_t block);
    void run();

    Consumer consumer_;
    std::vector<std::vector<std::uint8_t>> blocks_;
    std::vector<std::size_t> filled_;  // bytes held per block
    std::deque<std::size_t> free_;
    std::deque<std::size_t> full_;
    std::size_t current_;
    std::size_t busy_ = 0;  // blocks handed over and not yet consumed
    bool stopping_ = false;
    std::exception_ptr failure_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::thread thread_;
};
