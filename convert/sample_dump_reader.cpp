#include "convert/sample_dump_reader.h"

#include <unistd.h>

#include <algorithm>
#include <iostream>

SampleDumpReader::SampleDumpReader(const std::string& name) : name_(name), stream_(&file_)
{
    // Only a broken stream raises; the end of the file and a short read are normal here.
    stream_.exceptions(std::ios::badbit);
    if (name_ == kStandardStreamName) {
        if (isatty(STDIN_FILENO) != 0) {
            ok_ = false;
            std::cout << "Error reading <" << name_ << ">: standard input is a terminal" << std::endl;
            return;
        }
        ok_ = file_.openStandardInput();
    } else {
        ok_ = file_.open(name_);
    }
    // Before the first read moves the position that the size is counted from.
    knownSize_ = ok_ ? file_.regularFileSize() : std::nullopt;
    ok_ = ok_ && firstByteReadable();
    if (!ok_) {
        std::cout << "Error opening <" << name_ << ">" << std::endl;
    }
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
    // Whole chunks come straight from the file's buffer; the rest is copied out.
    if (stream_.good()) {
        if (const char* chunk = file_.takeChunk()) {
            // The char view of the bytes is how streams read; either type may alias the other.
            chunk_ = reinterpret_cast<const std::uint8_t*>(chunk);
            return static_cast<std::uint32_t>(kChunkBytes);
        }
    }
    chunk_ = buffer_.data();
    // The char view of the bytes is how streams read; char may alias any object.
    const std::size_t wanted = limit_ ? static_cast<std::size_t>(std::min<std::uint64_t>(*limit_, kChunkBytes))
                                      : kChunkBytes;
    stream_.read(reinterpret_cast<char*>(buffer_.data()), static_cast<std::streamsize>(wanted));
    const auto count = static_cast<std::size_t>(stream_.gcount());
    if (limit_) {
        *limit_ -= count;
    }
    // A short read at the end of the file sets fail and end-of-file together: success.
    ok_ = !stream_.fail() || stream_.eof();
    if (!ok_) {
        std::cout << "Error reading from <" << name_ << ">" << std::endl << std::endl;
    }
    std::fill(buffer_.begin() + static_cast<std::ptrdiff_t>(count), buffer_.end(), std::uint8_t{0});
    return static_cast<std::uint32_t>(count);
}

void SampleDumpReader::skip(std::uint64_t bytes)
{
    if (bytes == 0) {
        return;
    }
    file_.skip(bytes);
    if (knownSize_) {
        knownSize_ = *knownSize_ - std::min(*knownSize_, bytes);
    }
}

std::optional<int> SampleDumpReader::kernelCopySource()
{
    if (!stream_.good()) {
        return std::nullopt;
    }
    return file_.handOverDescriptor();
}
