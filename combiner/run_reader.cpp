#include "combiner/run_reader.h"

#include <algorithm>
#include <cstring>

#include "wavefile/chunk.h"
#include "wavefile/platform/files.h"

RunReader::RunReader(std::FILE* front, std::FILE* rear, std::uint64_t frames, std::uint64_t front_frames,
                     std::uint64_t rear_frames, std::size_t pair_size, unsigned char silence, std::size_t run_bytes)
    : inputs_{front, rear}, offsets_{position_of(front), position_of(rear)}, frames_(frames),
      frames_left_{front_frames, rear_frames}, frames_per_run_(run_bytes / pair_size), pair_size_(pair_size),
      silence_(silence), pieces_(large_buffer(2 * CACHED_PIECE_BYTES)) {}

RunReader::~RunReader() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
}

RunPair RunReader::next() {
    if (pieces_) {
        if (const std::optional<RunPair> pair = next_cached()) return *pair;
        start_reading_runs();
    }
    const std::size_t front_run = 2 * pairs_handed_out_++, rear_run = front_run + 1;
    std::unique_lock lock(mutex_);
    reads_released_ = front_run;  // the pair handed out before this one
    changed_.notify_all();
    // Woken now and then to see whether the user interrupted, as a slow disk may hold a run long.
    while (!changed_.wait_for(lock, INTERRUPTION_POLL, [&] { return failed_ || reads_done_ > rear_run; })) {
        lock.unlock();
        stop_if_interrupted();
        lock.lock();
    }
    const bool have = reads_done_ > rear_run;
    lock.unlock();
    fail_if(!have, "cannot read input file!");
    return {slot(front_run), slot(rear_run), frames_in(front_run)};
}

// The next piece of each input, when the cache holds both; nothing is taken otherwise.
std::optional<RunPair> RunReader::next_cached() {
    const std::size_t frames = static_cast<std::size_t>(
        std::min<std::uint64_t>(CACHED_PIECE_BYTES / pair_size_, frames_ - first_run_frame_));
    unsigned char* pieces[2] = {pieces_.get(), pieces_.get() + CACHED_PIECE_BYTES};
    std::size_t have[2];
    for (int input = 0; input < 2; ++input) {
        have[input] = static_cast<std::size_t>(std::min<std::uint64_t>(frames, frames_left_[input]));
        if (!read_if_cached(inputs_[input], pieces[input], have[input] * pair_size_, offsets_[input])) return std::nullopt;
    }
    for (int input = 0; input < 2; ++input) {
        std::memset(pieces[input] + have[input] * pair_size_, silence_, (frames - have[input]) * pair_size_);
        offsets_[input] += static_cast<std::int64_t>(have[input] * pair_size_);
        frames_left_[input] -= have[input];
    }
    first_run_frame_ += frames;
    return RunPair{pieces[0], pieces[1], frames};
}

// From here on the disk reads: long runs, each input's readahead started afresh where it is.
void RunReader::start_reading_runs() {
    pieces_.reset();
    slot_bytes_ = static_cast<std::size_t>(std::min<std::uint64_t>(frames_per_run_, frames_ - first_run_frame_)) * pair_size_;
    slots_ = large_buffer(RUN_SLOTS * slot_bytes_);
    for (int input = 0; input < 2; ++input) {
        fail_if(!seek_to(inputs_[input], offsets_[input]), "cannot read input file!");
        restart_readahead(inputs_[input], offsets_[input]);
    }
    thread_ = std::thread(&RunReader::read_all, this);
}

// Fills a slot with run `run` of its input: the frames the input has left, then silence once it
// has run out. Nothing past an input's audio is read.
std::size_t RunReader::frames_in(std::size_t run) const {
    return static_cast<std::size_t>(
        std::min<std::uint64_t>(frames_per_run_, frames_ - first_run_frame_ - run / 2 * frames_per_run_));
}

bool RunReader::read_run(std::size_t run, unsigned char* slot) {
    const std::size_t frames = frames_in(run);
    std::uint64_t& left = frames_left_[run % 2];
    const std::size_t have = static_cast<std::size_t>(std::min<std::uint64_t>(frames, left));
    // In pieces, so that a join stopped mid-run (an interruption) waits for one piece at most.
    const std::size_t frames_per_piece = READ_PIECE_BYTES / pair_size_;
    for (std::size_t at = 0; at < have; at += frames_per_piece) {
        if (stopping_.load(std::memory_order_relaxed)) return false;
        const std::size_t frames_now = std::min(frames_per_piece, have - at);
        if (std::fread(slot + at * pair_size_, pair_size_, frames_now, inputs_[run % 2]) != frames_now) return false;
    }
    std::memset(slot + have * pair_size_, silence_, (frames - have) * pair_size_);
    left -= have;
    return true;
}

void RunReader::read_all() {
    const std::uint64_t frames = frames_ - first_run_frame_;
    const std::size_t runs = 2 * static_cast<std::size_t>((frames + frames_per_run_ - 1) / frames_per_run_);
    for (std::size_t run = 0; run < runs; ++run) {
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return stopping_ || run < reads_released_ + RUN_SLOTS; });
            if (stopping_) return;
        }
        const bool read = read_run(run, slot(run));
        {
            std::lock_guard lock(mutex_);
            if (read) reads_done_ = run + 1;
            else failed_ = true;
        }
        changed_.notify_all();
        if (!read) return;
    }
}
