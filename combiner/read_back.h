// Reading a join's output back from its disk, past the system's cache, to prove that the disk
// holds what the join wrote (--verify).
#pragma once

#include <cstddef>
#include <cstdint>
#include <future>
#include <string>

#include "combiner/interleave.h"
#include "combiner/output_hash.h"
#include "wavefile/platform/files.h"

inline constexpr char DOES_NOT_READ_BACK[] = "output file does not read back as written!";

// How much is read at a time: long enough for a disk's pace, short enough that an interruption
// waits little. Two such blocks are held: one hashed while the next is read.
inline constexpr std::size_t READ_BACK_BYTES = 4 * 1024 * 1024;
// The inputs' runs while a join is compared with a read-back: the join's runs and the read-back's
// blocks together hold no more memory than a join alone.
inline constexpr std::size_t COMPARED_RUN_BYTES = 8 * 1024 * 1024;

// A file read back from its start, every byte hashed as it is read. As a JoinSink it compares the
// bytes a join puts with the file's, writing nothing: an earlier join checked against the same
// join computed anew. A mismatch, a failed read, or a file that ends early or late stops with
// DOES_NOT_READ_BACK.
class ReadBack final : public JoinSink {
public:
    explicit ReadBack(const std::string& path);

    bool put(const unsigned char* bytes, std::size_t size) override;
    // Reads the rest of the file, a mark of the progress bar for each fiftieth of `size` bytes.
    void read_rest(std::uint64_t size);
    // Checks that the file ends where the bytes put or read end; the hash of all of it.
    std::string finish();
    std::uint64_t bytes_read() const { return read_; }

private:
    bool refill();
    void read_ahead();

    UncachedFile file_;
    Buffer blocks_;
    unsigned char* current_;  // the block being hashed and compared
    unsigned char* ahead_;    // the block being read
    std::size_t filled_ = 0, used_ = 0;
    std::uint64_t read_ = 0;
    bool at_end_ = false;
    OutputHash hash_;
    std::future<std::int64_t> next_read_;  // last: waited for before the blocks and file go
};

// The heading and ruler of the read-back's progress bar.
void report_verifying();

// Reads the output at path back whole, with the "verifying..." bar, and stops with
// DOES_NOT_READ_BACK unless it is `size` bytes whose hash is written_hash. Its hash.
std::string verify_output(const std::string& path, std::uint64_t size, const std::string& written_hash);
