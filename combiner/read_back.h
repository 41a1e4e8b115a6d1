// Reading a join's output back from its disk, past the system's cache, to prove that the disk
// holds what the join wrote (--verify).
#pragma once

#include <cstddef>
#include <cstdint>
#include <future>
#include <string>
#include <vector>

#include "combiner/interleave.h"
#include "combiner/output_hash.h"
#include "wavefile/platform/files.h"

inline constexpr char DOES_NOT_READ_BACK[] = "output file does not read back as written!";

// What a comparison with a read-back stops with: the output differs, not the inputs.
struct DoesNotReadBack : Stop {};

// How much is read at a time: long enough for a disk's pace, short enough that an interruption
// waits little. Two such blocks are held: one hashed while the next is read.
inline constexpr std::size_t READ_BACK_BYTES = 4 * 1024 * 1024;
// The inputs' rings while a join is compared with a read-back: the join's rings and the
// read-back's blocks together hold no more memory than a join alone.
inline constexpr std::size_t COMPARED_RING_BYTES = 12 * 1024 * 1024;

// A file read back from its start, every byte hashed as it is read. As a JoinSink it compares the
// bytes a join puts with the file's, writing nothing: an earlier join checked against the same
// join computed anew; a mismatch, a failed read, or a file that ends early or late stops with
// DOES_NOT_READ_BACK (DoesNotReadBack), said after "<named>: " when named is given.
class ReadBack final : public JoinSink {
public:
    explicit ReadBack(const std::string& path, std::string named = "");

    bool opened() const { return file_ != nullptr; }
    bool put(const unsigned char* bytes, std::size_t size) override;
    // Checks that the file ends where the bytes put end; the hash of all of it.
    std::string finish();

    // Reads and hashes the next block: false at the end, or when a read failed (failed()). Stops
    // nothing, so that any thread may read.
    bool refill();
    bool failed() const { return failed_; }
    std::uint64_t bytes_read() const { return read_; }
    std::string hash() const { return hash_.hex(); }

private:
    void read_ahead();
    void stop_unless(bool same) const;

    std::string named_;
    UncachedFile file_;
    Buffer blocks_;
    unsigned char* current_;  // the block being hashed and compared
    unsigned char* ahead_;    // the block being read
    std::size_t filled_ = 0, used_ = 0;
    std::uint64_t read_ = 0;
    bool at_end_ = false, failed_ = false;
    OutputHash hash_;
    std::future<std::int64_t> next_read_;  // last: waited for before the blocks and file go
};

// The heading and ruler of a read-back's progress bar: "verifying...", or with a path (one of
// several outputs) "verifying <path>...".
void report_verifying(const std::string& path = "");

// The line that ends a verification: the hash of what came back from the disk, for a log.
void report_verified(const std::string& hash);

// Reads the outputs at paths back whole, each on a thread of its own so that their disks work at
// once, and shows each in turn: its heading (with its path when `named`), its bar, then
// "verified:" and its hash when it is `size` bytes whose hash is written_hash. One not read back
// as written is said as "<path>: " DOES_NOT_READ_BACK when named, and stops the join
// otherwise. Which were verified.
std::vector<bool> verify_outputs(const std::vector<std::string>& paths, std::uint64_t size,
                                 const std::string& written_hash, bool named);
