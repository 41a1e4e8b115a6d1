#include "combiner/read_back.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "wavefile/chunk.h"
#include "wavefile/console.h"

ReadBack::ReadBack(const std::string& path)
    : file_(open_uncached(path)), blocks_(large_buffer(2 * READ_BACK_BYTES)), current_(blocks_.get()),
      ahead_(blocks_.get() + READ_BACK_BYTES) {
    fail_if(!file_, DOES_NOT_READ_BACK);
    read_ahead();
}

// Uncached reads get no readahead from the system: reading the next block while this one is
// hashed keeps the disk busy.
void ReadBack::read_ahead() {
    next_read_ = std::async(std::launch::async,
                            [&file = file_, block = ahead_] { return read_uncached(file, block, READ_BACK_BYTES); });
}

bool ReadBack::refill() {
    stop_if_interrupted();
    filled_ = used_ = 0;
    if (at_end_) return false;
    const std::int64_t got = next_read_.get();
    fail_if(got < 0, DOES_NOT_READ_BACK);
    // A short read is the end: uncached reads past it may be refused, being off a sector's start.
    at_end_ = static_cast<std::size_t>(got) < READ_BACK_BYTES;
    std::swap(current_, ahead_);
    if (!at_end_) read_ahead();
    filled_ = static_cast<std::size_t>(got);
    hash_.add(current_, filled_);
    read_ += filled_;
    return filled_ > 0;
}

bool ReadBack::put(const unsigned char* bytes, std::size_t size) {
    while (size > 0) {
        if (used_ == filled_) fail_if(!refill(), DOES_NOT_READ_BACK);
        const std::size_t compared = std::min(size, filled_ - used_);
        fail_if(std::memcmp(bytes, current_ + used_, compared) != 0, DOES_NOT_READ_BACK);
        used_ += compared;
        bytes += compared;
        size -= compared;
    }
    return true;
}

void ReadBack::read_rest(std::uint64_t size) {
    int marks = 0;
    while (refill()) {
        used_ = filled_;
        const int due = read_ >= size ? 50 : static_cast<int>(read_ * 50 / size);
        for (; marks < due; ++marks) report(">");
    }
}

std::string ReadBack::finish() {
    fail_if(used_ != filled_ || refill(), DOES_NOT_READ_BACK);
    return hash_.hex();
}

void report_verifying() {
    report("verifying...\n\n");
    report_ruler();
}

std::string verify_output(const std::string& path, std::uint64_t size, const std::string& written_hash) {
    report_verifying();
    ReadBack back(path);
    back.read_rest(size);
    const std::uint64_t read = back.bytes_read();
    const std::string hash = back.finish();
    fail_if(read != size || hash != written_hash, DOES_NOT_READ_BACK);
    return hash;
}
