// MD5 through libcrypto's EVP interface: the well-kept implementation, with its
// assembly loops, rather than one of our own.

#include "wavfile/md5_hash.h"

#include <openssl/evp.h>

#include <stdexcept>

namespace pcmwrap {

struct Md5Hash::Context {
    EVP_MD_CTX* context = nullptr;
    ~Context() { EVP_MD_CTX_free(context); }
};

namespace {

void start(EVP_MD_CTX* context)
{
    if (EVP_DigestInit_ex(context, EVP_md5(), nullptr) != 1) {
        throw std::runtime_error("MD5: libcrypto cannot start a hash");
    }
}

}  // namespace

Md5Hash::Md5Hash() : context_(std::make_unique<Context>())
{
    context_->context = EVP_MD_CTX_new();
    if (context_->context == nullptr) {
        throw std::runtime_error("MD5: libcrypto cannot start a hash");
    }
    start(context_->context);
}

Md5Hash::~Md5Hash() = default;
Md5Hash::Md5Hash(Md5Hash&&) noexcept = default;
Md5Hash& Md5Hash::operator=(Md5Hash&&) noexcept = default;

void Md5Hash::update(const void* bytes, std::size_t count)
{
    if (count != 0 && EVP_DigestUpdate(context_->context, bytes, count) != 1) {
        throw std::runtime_error("MD5: libcrypto refused the data");
    }
}

Md5Digest Md5Hash::digest()
{
    Md5Digest digest{};
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context_->context, digest.data(), &length) != 1 || length != digest.size()) {
        throw std::runtime_error("MD5: libcrypto cannot end the hash");
    }
    start(context_->context);
    return digest;
}

}  // namespace pcmwrap
