#pragma once
// Internal: an MD5 hash fed in pieces, through OpenSSL's libcrypto (EVP).

#include <cstddef>
#include <memory>

#include "wavfile/wav_file.h"

namespace pcmwrap {

class Md5Hash {
public:
    Md5Hash();  // std::runtime_error when libcrypto cannot start one
    ~Md5Hash();
    Md5Hash(Md5Hash&&) noexcept;
    Md5Hash& operator=(Md5Hash&&) noexcept;

    void update(const void* bytes, std::size_t count);
    // The digest of everything fed; the hash starts afresh afterwards.
    Md5Digest digest();

private:
    struct Context;
    std::unique_ptr<Context> context_;
};

}  // namespace pcmwrap
