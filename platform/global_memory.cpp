// The global memory stand-in. Every live block is recorded by its handle, so that a
// stray or released handle is refused instead of used, and by its address, so that
// GlobalHandle can find a movable block's handle again.

#include "platform/global_memory.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <new>
#include <unordered_map>

#include "platform/global_memory_testing.h"

namespace {

// The platform has a 32-bit address space: no block it hands out is larger.
constexpr std::uint64_t kLargestBlockBytes = std::uint64_t{1} << 32;

struct Block {
    void* memory = nullptr;  // null only for a movable block of 0 bytes
    bool movable = false;
    unsigned locks = 0;
};

std::mutex blocksLock;
std::unordered_map<HGLOBAL, std::unique_ptr<Block>> blocksByHandle;
std::unordered_map<const void*, HGLOBAL> handlesByAddress;
std::uintptr_t movableHandlesIssued = 0;

// A movable block's handle is a value never issued before in this process, so a released
// handle stays refused when a newer block takes its memory. The values are odd, and no
// fixed block, whose handle is its address, starts at an odd address.
HGLOBAL issueMovableHandle()
{
    return reinterpret_cast<HGLOBAL>(++movableHandlesIssued * 2 + 1);
}

std::atomic<std::size_t> allocationLimit{kGlobalNoAllocationLimit};
std::atomic<std::size_t> largestRequest{0};

void noteRequest(std::size_t bytes)
{
    std::size_t seen = largestRequest.load(std::memory_order_relaxed);
    while (bytes > seen && !largestRequest.compare_exchange_weak(seen, bytes, std::memory_order_relaxed)) {
    }
}

Block* find(HGLOBAL handle)
{
    const auto found = blocksByHandle.find(handle);
    return found == blocksByHandle.end() ? nullptr : found->second.get();
}

}  // namespace

HGLOBAL GlobalAlloc(UINT flags, std::size_t bytes)
{
    noteRequest(bytes);
    if (bytes > kLargestBlockBytes || bytes > allocationLimit.load(std::memory_order_relaxed)) {
        return nullptr;
    }
    const bool movable = (flags & GMEM_MOVEABLE) != 0;
    auto block = std::unique_ptr<Block>(new (std::nothrow) Block);
    if (!block) {
        return nullptr;
    }
    block->movable = movable;
    // A movable block of 0 bytes has a handle but no memory; a fixed one needs an address
    // of its own, since the address is its handle.
    if (!movable || bytes > 0) {
        const std::size_t size = std::max<std::size_t>(bytes, 1);
        block->memory = (flags & GMEM_ZEROINIT) != 0 ? std::calloc(size, 1) : std::malloc(size);
        if (block->memory == nullptr) {
            return nullptr;
        }
    }
    void* const memory = block->memory;
    HGLOBAL handle = memory;
    try {
        const std::lock_guard<std::mutex> guard(blocksLock);
        if (movable) {
            handle = issueMovableHandle();
        }
        if (memory != nullptr) {
            handlesByAddress.emplace(memory, handle);
        }
        try {
            blocksByHandle.emplace(handle, std::move(block));
        } catch (const std::bad_alloc&) {
            handlesByAddress.erase(memory);
            throw;
        }
    } catch (const std::bad_alloc&) {
        // The record could not be kept: the block was never handed out.
        std::free(memory);
        return nullptr;
    }
    return handle;
}

void* GlobalLock(HGLOBAL handle)
{
    const std::lock_guard<std::mutex> guard(blocksLock);
    Block* const block = find(handle);
    if (block == nullptr || block->memory == nullptr) {
        return nullptr;
    }
    ++block->locks;
    return block->memory;
}

bool GlobalUnlock(HGLOBAL handle)
{
    const std::lock_guard<std::mutex> guard(blocksLock);
    Block* const block = find(handle);
    if (block == nullptr) {
        return false;
    }
    if (block->locks > 0) {
        --block->locks;
    }
    return block->locks > 0;
}

HGLOBAL GlobalHandle(const void* address)
{
    const std::lock_guard<std::mutex> guard(blocksLock);
    const auto found = handlesByAddress.find(address);
    return found == handlesByAddress.end() ? nullptr : found->second;
}

HGLOBAL GlobalFree(HGLOBAL handle)
{
    const std::lock_guard<std::mutex> guard(blocksLock);
    const auto found = blocksByHandle.find(handle);
    if (found == blocksByHandle.end()) {
        return handle;
    }
    void* const memory = found->second->memory;
    if (memory != nullptr) {
        handlesByAddress.erase(memory);
        std::free(memory);
    }
    blocksByHandle.erase(found);
    return nullptr;
}

void GlobalSetAllocationLimitForTesting(std::size_t bytes)
{
    allocationLimit.store(bytes, std::memory_order_relaxed);
}

std::size_t GlobalLargestRequestForTesting()
{
    return largestRequest.load(std::memory_order_relaxed);
}

void GlobalResetLargestRequestForTesting()
{
    largestRequest.store(0, std::memory_order_relaxed);
}

std::size_t GlobalLiveBlocksForTesting()
{
    const std::lock_guard<std::mutex> guard(blocksLock);
    return blocksByHandle.size();
}
