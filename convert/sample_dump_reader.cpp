#include "convert/sample_dump_reader.h"

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <system_error>

namespace {

// Larger than the stream's default so that a dump is read in few system calls.
constexpr std::size_t kStreamBufferBytes = 64 * 1024;

std::optional<std::uint64_t> regularFileSize(const std::string& name)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(name, error)) {
        return std::nullopt;
    }
    const std::uintmax_t size = std::filesystem::file_size(name, error);
    if (error) {
        return std::nullopt;
    }
    return size;
}

}  // namespace

SampleDumpReader::SampleDumpReader(const std::string& name)
    : name_(name), streamBuffer_(std::make_unique<char[]>(kStreamBufferBytes))
{
    // Only a broken stream raises; the end of the file and a short read are normal here.
    stream_.exceptions(std::ios::badbit);
    // Must come before open to take effect.
    stream_.rdbuf()->pubsetbuf(streamBuffer_.get(), static_cast<std::streamsize>(kStreamBufferBytes));
    stream_.open(name_, std::ios::in | std::ios::binary);
    ok_ = !stream_.fail() && firstByteReadable();
    if (!ok_) {
        std::cout << "Error opening <" << name_ << ">" << std::endl;
        return;
    }
    knownSize_ = regularFileSize(name_);
}

// Some names open but give no file bytes: a directory opens on this system and only its
// first read fails. Such an input is refused at open rather than ending the whole run
// with a stream failure on its first chunk.
bool SampleDumpReader::firstByteReadable()
{
    stream_.exceptions(std::ios::goodbit);
    stream_.peek();
    const bool readable = !stream_.bad();
    // peek on an empty file sets end-of-file, which the first chunk must not inherit.
    stream_.clear();
    stream_.exceptions(std::ios::badbit);
    return readable;
}

std::uint32_t SampleDumpReader::readChunk()
{
    // The char view of the bytes is how streams read; char may alias any object.
    stream_.read(reinterpret_cast<char*>(buffer_.data()), static_cast<std::streamsize>(kChunkBytes));
    const auto count = static_cast<std::size_t>(stream_.gcount());
    // A short read at the end of the file sets fail and end-of-file together: success.
    ok_ = !stream_.fail() || stream_.eof();
    if (!ok_) {
        std::cout << "Error reading from <" << name_ << ">" << std::endl << std::endl;
    }
    std::fill(buffer_.begin() + static_cast<std::ptrdiff_t>(count), buffer_.end(), std::uint8_t{0});
    return static_cast<std::uint32_t>(count);
}
