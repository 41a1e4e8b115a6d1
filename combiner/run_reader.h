// Reads the two inputs of a join, a pair of pieces at a time. What the system's cache holds is read
// on the main thread, in pieces short enough to stay in the CPU's cache until the interleave has
// used them: from the cache a thread only costs. From the first piece that must come from the
// disk on, a thread of its own reads runs of each input, so that the disk reads the next pair of
// runs while the main thread interleaves and writes this one.
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

// How much of each input is read at a time from the disk. Longer runs pay fewer seeks as the
// reads move from one file to the other; RUN_SLOTS of them bound the memory.
inline constexpr std::size_t INPUT_RUN_BYTES = 12 * 1024 * 1024;
// One pair being interleaved and the next run being read beside it.
inline constexpr std::size_t RUN_SLOTS = 3;
// A run is read in pieces this long: an interrupted join waits for one piece at most (0.4 s at
// 10 MB/s, a slow card's pace).
inline constexpr std::size_t READ_PIECE_BYTES = 4 * 1024 * 1024;
// How much of each input is read at a time from the cache: both pieces and the output they make
// stay in a core's L2 cache until written.
inline constexpr std::size_t CACHED_PIECE_BYTES = 128 * 1024;
// How often the main thread, waiting for a run, looks whether the user interrupted.
inline constexpr std::chrono::milliseconds INTERRUPTION_POLL{50};

// One pair of runs or pieces: the same frames of the front and the rear.
struct RunPair {
    const unsigned char* front;
    const unsigned char* rear;
    std::size_t frames;
};

class RunReader {
public:
    // Reads stereo frames of pair_size bytes from where front and rear stand until `frames` are
    // read: each input gives its own frames, then silence, and is read no further. From the disk
    // it reads runs of run_bytes (the last one shorter).
    RunReader(std::FILE* front, std::FILE* rear, std::uint64_t frames, std::uint64_t front_frames,
              std::uint64_t rear_frames, std::size_t pair_size, unsigned char silence, std::size_t run_bytes);
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
    std::size_t frames_in(std::size_t run) const;
    bool read_run(std::size_t run, unsigned char* slot);
    // Run r of the inputs (front, rear, front, ...) goes into slot r % RUN_SLOTS.
    unsigned char* slot(std::size_t run) const { return slots_.get() + run % RUN_SLOTS * slot_bytes_; }

    std::FILE* inputs_[2];
    std::int64_t offsets_[2];  // where each input's next piece lies, while read from the cache
    std::uint64_t frames_, frames_left_[2];
    std::uint64_t first_run_frame_ = 0;  // the frames read from the cache before the thread started
    std::size_t frames_per_run_, pair_size_;
    unsigned char silence_;
    Buffer pieces_;  // the pieces read from the cache; none once the thread reads
    // Allocated when the thread starts, no larger than the rest of the take needs, in large pages
    // where the system has them, and left uninitialised: memory stays flat whatever the take's length.
    std::size_t slot_bytes_ = 0;
    Buffer slots_;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t reads_done_ = 0;        // runs read, front and rear alternately
    std::size_t reads_released_ = 0;    // runs the main thread is done with
    std::size_t pairs_handed_out_ = 0;  // the main thread's own
    bool failed_ = false;
    std::atomic<bool> stopping_ = false;  // set under mutex_, also read between pieces
    std::thread thread_;
};
