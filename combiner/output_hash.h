// The XXH3 128-bit hash of a join's output, fed as its bytes are written or read back, so that
// what was written and what the disk gives back are compared without a second copy in memory.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

class OutputHash {
public:
    OutputHash();
    ~OutputHash();
    OutputHash(const OutputHash&) = delete;
    OutputHash& operator=(const OutputHash&) = delete;

    void add(const void* bytes, std::size_t size);
    // The hash of everything added so far, as 32 lowercase hex digits in xxh128sum's order.
    std::string hex() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};
