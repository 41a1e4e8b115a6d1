#include "wavefile/platform/sha512.h"

#include <algorithm>
#include <stdexcept>

#ifdef _WIN32
#include <windows.h>
#include <bcrypt.h>
#elif defined(__APPLE__)
#include <CommonCrypto/CommonDigest.h>
#else
#include <openssl/evp.h>
#endif

#ifdef _WIN32
namespace {
// CNG, loaded when first needed: a DLL linked in is loaded at every start, which only --mhl needs.
struct Cng {
    decltype(&BCryptOpenAlgorithmProvider) open = nullptr;
    decltype(&BCryptCreateHash) create = nullptr;
    decltype(&BCryptHashData) add = nullptr;
    decltype(&BCryptFinishHash) finish = nullptr;
    decltype(&BCryptDestroyHash) destroy = nullptr;
    decltype(&BCryptCloseAlgorithmProvider) close = nullptr;
};

template <class Function>
void find(HMODULE library, const char* name, Function& function) {
    function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

const Cng& cng_functions() {
    static const Cng cng = [] {
        Cng found;
        HMODULE library = LoadLibraryW(L"bcrypt.dll");
        if (!library) return found;
        find(library, "BCryptCreateHash", found.create);
        find(library, "BCryptHashData", found.add);
        find(library, "BCryptFinishHash", found.finish);
        find(library, "BCryptDestroyHash", found.destroy);
        find(library, "BCryptCloseAlgorithmProvider", found.close);
        if (found.create && found.add && found.finish && found.destroy && found.close)
            find(library, "BCryptOpenAlgorithmProvider", found.open);
        return found;
    }();
    return cng;
}
}  // namespace
#endif

Sha512Digest sha512(std::string_view bytes) {
    Sha512Digest digest{};
#ifdef _WIN32
    const Cng& cng = cng_functions();
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    bool done = cng.open && cng.open(&algorithm, BCRYPT_SHA512_ALGORITHM, nullptr, 0) >= 0 &&
                cng.create(algorithm, &hash, nullptr, 0, nullptr, 0, 0) >= 0;
    // CNG takes at most 4 GiB a call.
    for (std::string_view rest = bytes; done && !rest.empty();) {
        const ULONG piece = static_cast<ULONG>(std::min<std::size_t>(rest.size(), 1u << 30));
        done = cng.add(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(rest.data())), piece, 0) >= 0;
        rest.remove_prefix(piece);
    }
    done = done && cng.finish(hash, digest.data(), static_cast<ULONG>(digest.size()), 0) >= 0;
    if (hash) cng.destroy(hash);
    if (algorithm) cng.close(algorithm, 0);
#elif defined(__APPLE__)
    CC_SHA512_CTX context;
    bool done = CC_SHA512_Init(&context) == 1;
    for (std::string_view rest = bytes; done && !rest.empty();) {
        const CC_LONG piece = static_cast<CC_LONG>(std::min<std::size_t>(rest.size(), 1u << 30));
        done = CC_SHA512_Update(&context, rest.data(), piece) == 1;
        rest.remove_prefix(piece);
    }
    done = CC_SHA512_Final(digest.data(), &context) == 1 && done;
#else
    unsigned int size = 0;
    const bool done = EVP_Digest(bytes.data(), bytes.size(), digest.data(), &size, EVP_sha512(), nullptr) == 1 &&
                      size == digest.size();
#endif
    if (!done) throw std::runtime_error("SHA-512 failed");
    return digest;
}
