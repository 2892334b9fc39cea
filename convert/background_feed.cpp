#include "convert/background_feed.h"

#include <algorithm>
#include <cstring>

namespace {

// Large enough that handing a block over costs nothing beside consuming it, small enough
// that the blocks stay a few MiB.
constexpr std::size_t kBlockBytes = 1024 * 1024;
constexpr std::size_t kBlocks = 4;

}  // namespace

BackgroundFeed::BackgroundFeed(Consumer consumer)
    : consumer_(std::move(consumer)), blocks_(kBlocks, std::vector<std::uint8_t>(kBlockBytes)), filled_(kBlocks, 0)
{
    for (std::size_t block = 1; block < kBlocks; ++block) {
        free_.push_back(block);
    }
    current_ = 0;
    thread_ = std::thread([this] { run(); });
}

BackgroundFeed::~BackgroundFeed()
{
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void BackgroundFeed::add(const std::uint8_t* bytes, std::size_t count)
{
    while (count > 0) {
        std::size_t& filled = filled_[current_];
        const std::size_t piece = std::min(count, kBlockBytes - filled);
        std::memcpy(blocks_[current_].data() + filled, bytes, piece);
        filled += piece;
        bytes += piece;
        count -= piece;
        if (filled == kBlockBytes) {
            hand(current_);
        }
    }
}

// Queues the block for the consumer and takes a free one as the current block.
void BackgroundFeed::hand(std::size_t block)
{
    std::unique_lock lock(mutex_);
    full_.push_back(block);
    ++busy_;
    changed_.notify_all();
    changed_.wait(lock, [this] { return !free_.empty(); });
    current_ = free_.front();
    free_.pop_front();
    filled_[current_] = 0;
}

void BackgroundFeed::drain()
{
    if (filled_[current_] > 0) {
        hand(current_);
    }
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return busy_ == 0; });
    if (failure_) {
        std::rethrow_exception(failure_);
    }
}

void BackgroundFeed::run()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || !full_.empty(); });
        if (stopping_) {
            return;
        }
        const std::size_t block = full_.front();
        full_.pop_front();
        lock.unlock();
        if (!failure_) {
            try {
                consumer_(blocks_[block].data(), filled_[block]);
            } catch (...) {
                failure_ = std::current_exception();
            }
        }
        lock.lock();
        free_.push_back(block);
        --busy_;
        changed_.notify_all();
    }
}
