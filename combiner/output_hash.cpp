#include "combiner/output_hash.h"

#include <cstdio>
#include <new>

#include <xxhash.h>

struct OutputHash::State {
    XXH3_state_t* xxh3 = XXH3_createState();
    ~State() { XXH3_freeState(xxh3); }
};

OutputHash::OutputHash() : state_(std::make_unique<State>()) {
    if (state_->xxh3 == nullptr) throw std::bad_alloc();
    XXH3_128bits_reset(state_->xxh3);
}

OutputHash::~OutputHash() = default;

void OutputHash::add(const void* bytes, std::size_t size) { XXH3_128bits_update(state_->xxh3, bytes, size); }

std::string OutputHash::hex() const {
    XXH128_canonical_t canonical;  // big-endian, as xxh128sum prints it
    XXH128_canonicalFromHash(&canonical, XXH3_128bits_digest(state_->xxh3));
    std::string text;
    for (unsigned char byte : canonical.digest) {
        char digits[3];
        std::snprintf(digits, sizeof digits, "%02x", byte);
        text += digits;
    }
    return text;
}
