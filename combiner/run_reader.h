// Reads the two inputs of a join, a pair of pieces at a time. What the system's cache holds is read
// on the main thread, in pieces short enough to stay in the CPU's cache until the interleave has
// used them: from the cache a thread only costs. From the first piece that must come from the
// disk on, a thread of its own reads each input into a ring of its own, staying on one input
// while its ring has room, so that the disk seeks from one file to the other as seldom as the
// memory allows, and reads on while the main thread interleaves and writes. Where no thread can
// be started (a process limit, no memory for its stack), the main thread reads each pair as the
// join needs it: more seeks on a disk, the same bytes.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <optional>
#include <thread>

#include "wavefile/platform/files.h"

// The ring of each input, read from the disk. The reader goes over to the other input once this
// one's ring is full; as the main thread uses each piece of the other input against one already
// read, a run of reads in one file is up to two rings long (36 MiB) between seeks.
inline constexpr std::size_t INPUT_RING_BYTES = 18 * 1024 * 1024;
// A ring holds pieces this long, read and handed over one at a time: an interrupted join waits
// for one piece at most (0.2 s at 10 MB/s, a slow card's pace).
inline constexpr std::size_t READ_PIECE_BYTES = 2 * 1024 * 1024;
// How much of each input is read at a time from the cache: both pieces and the output they make
// stay in a core's L2 cache until written.
inline constexpr std::size_t CACHED_PIECE_BYTES = 128 * 1024;
// How often the main thread, waiting for a piece, looks whether the user interrupted.
inline constexpr std::chrono::milliseconds INTERRUPTION_POLL{50};

// One pair of pieces: the same frames of the front and the rear.
struct RunPair {
    const unsigned char* front;
    const unsigned char* rear;
    std::size_t frames;
};

class RunReader {
public:
    // Reads stereo frames of pair_size bytes from where front and rear stand until `frames` are
    // read: each input gives its own frames, then silence, and is read no further. From the disk
    // each input is read into a ring of ring_bytes.
    RunReader(std::FILE* front, std::FILE* rear, std::uint64_t frames, std::uint64_t front_frames,
              std::uint64_t rear_frames, std::size_t pair_size, unsigned char silence, std::size_t ring_bytes);
    // Stops the reader thread, if it started, after its read in progress, and waits for it.
    ~RunReader();
    RunReader(const RunReader&) = delete;
    RunReader& operator=(const RunReader&) = delete;

    // The next pair, which stays valid until the next call; a read that failed in it stops the
    // join ("cannot read input file!").
    RunPair next();

private:
    std::optional<RunPair> next_cached();
    void start_reading_runs();
    void read_all();
    // The input to read next, once one may be read: -1 when all is read or the reader stops.
    int next_input(int input);
    std::size_t frames_in(std::size_t piece) const;
    bool read_piece(int input, std::size_t piece);
    // Piece p of an input lies in its ring at p % pieces_per_ring_.
    unsigned char* piece_at(int input, std::size_t piece) const {
        return ring_.get() + (input * pieces_per_ring_ + piece % pieces_per_ring_) * piece_bytes_;
    }

    std::FILE* inputs_[2];
    std::int64_t offsets_[2];  // where each input's next piece lies, while read from the cache
    std::uint64_t frames_, frames_left_[2];
    std::uint64_t first_run_frame_ = 0;  // the frames read from the cache before the thread started
    std::size_t ring_bytes_, pair_size_;
    unsigned char silence_;
    Buffer pieces_;  // the pieces read from the cache; none once the thread reads
    // Allocated when the thread starts, no larger than the rest of the take needs, in large pages
    // where the system has them, and left uninitialised: memory stays flat whatever the take's length.
    std::size_t frames_per_piece_ = 0, piece_bytes_ = 0, pieces_per_ring_ = 0, piece_count_ = 0;
    Buffer ring_;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t read_[2] = {0, 0};      // pieces of each input read
    std::size_t released_ = 0;          // pairs the main thread is done with
    std::size_t pairs_handed_out_ = 0;  // the main thread's own
    bool failed_ = false;
    bool reads_inline_ = false;  // the thread could not start: the main thread reads each pair in turn
    std::atomic<bool> stopping_ = false;  // set under mutex_, also read between pieces
    std::thread thread_;
};
