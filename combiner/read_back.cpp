#include "combiner/read_back.h"

#include <algorithm>
#include <cstring>

#include "wavefile/chunk.h"
#include "wavefile/console.h"

ReadBack::ReadBack(const std::string& path) : file_(open_uncached(path)), buffer_(large_buffer(READ_BACK_BYTES)) {
    fail_if(!file_, DOES_NOT_READ_BACK);
}

bool ReadBack::refill() {
    stop_if_interrupted();
    filled_ = used_ = 0;
    if (at_end_) return false;
    const std::int64_t got = read_uncached(file_, buffer_.get(), READ_BACK_BYTES);
    fail_if(got < 0, DOES_NOT_READ_BACK);
    // A short read is the end: uncached reads past it may be refused, being off a sector's start.
    at_end_ = static_cast<std::size_t>(got) < READ_BACK_BYTES;
    filled_ = static_cast<std::size_t>(got);
    hash_.add(buffer_.get(), filled_);
    read_ += filled_;
    return filled_ > 0;
}

bool ReadBack::put(const unsigned char* bytes, std::size_t size) {
    while (size > 0) {
        if (used_ == filled_) fail_if(!refill(), DOES_NOT_READ_BACK);
        const std::size_t compared = std::min(size, filled_ - used_);
        fail_if(std::memcmp(bytes, buffer_.get() + used_, compared) != 0, DOES_NOT_READ_BACK);
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
