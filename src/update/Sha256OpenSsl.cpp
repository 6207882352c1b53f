#include <openssl/evp.h>

#include <memory>
#include <stdexcept>

#include "update/Sha256.h"

namespace velmora::update {

namespace {
struct MdCtxDeleter {
    void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};
}  // namespace

Sha256Digest Sha256(std::string_view bytes) {
    std::unique_ptr<EVP_MD_CTX, MdCtxDeleter> ctx(EVP_MD_CTX_new());
    Sha256Digest out{};
    unsigned int len = 0;
    if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1 ||
        EVP_DigestUpdate(ctx.get(), bytes.data(), bytes.size()) != 1 ||
        EVP_DigestFinal_ex(ctx.get(), out.data(), &len) != 1 || len != out.size()) {
        throw std::runtime_error("SHA-256 unavailable");
    }
    return out;
}

}  // namespace velmora::update
