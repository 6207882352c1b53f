// clang-format off
#include <windows.h>
#include <bcrypt.h>
// clang-format on

#include <algorithm>
#include <stdexcept>

#include "update/Sha256.h"

namespace velmora::update {

Sha256Digest Sha256(std::string_view bytes) {
    Sha256Digest out{};
    // ULONG lengths: hash in slices so any size fits.
    BCRYPT_ALG_HANDLE alg = nullptr;
    if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&alg, BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
        throw std::runtime_error("SHA-256 unavailable");
    BCRYPT_HASH_HANDLE h = nullptr;
    if (!BCRYPT_SUCCESS(BCryptCreateHash(alg, &h, nullptr, 0, nullptr, 0, 0))) {
        BCryptCloseAlgorithmProvider(alg, 0);
        throw std::runtime_error("SHA-256 unavailable");
    }
    bool ok = true;
    for (std::size_t at = 0; ok && at < bytes.size(); at += 0x40000000) {
        const std::size_t n = std::min<std::size_t>(bytes.size() - at, 0x40000000);
        ok = BCRYPT_SUCCESS(BCryptHashData(
            h, reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data() + at)), ULONG(n), 0));
    }
    ok = ok && BCRYPT_SUCCESS(BCryptFinishHash(h, out.data(), ULONG(out.size()), 0));
    BCryptDestroyHash(h);
    BCryptCloseAlgorithmProvider(alg, 0);
    if (!ok) throw std::runtime_error("SHA-256 unavailable");
    return out;
}

}  // namespace velmora::update
