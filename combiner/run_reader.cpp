#include "combiner/run_reader.h"

#include <algorithm>
#include <cstring>
#include <system_error>

#include "wavefile/chunk.h"
#include "wavefile/platform/files.h"

RunReader::RunReader(std::FILE* front, std::FILE* rear, std::uint64_t frames, std::uint64_t front_frames,
                     std::uint64_t rear_frames, std::size_t pair_size, unsigned char silence, std::size_t ring_bytes)
    : inputs_{front, rear}, offsets_{position_of(front), position_of(rear)}, frames_(frames),
      frames_left_{front_frames, rear_frames}, ring_bytes_(ring_bytes), pair_size_(pair_size), silence_(silence),
      pieces_(large_buffer(2 * CACHED_PIECE_BYTES)) {}

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
    const std::size_t piece = pairs_handed_out_++;
    if (reads_inline_) {
        stop_if_interrupted();
        fail_if(!read_piece(0, piece) || !read_piece(1, piece), "cannot read input file!");
        return {piece_at(0, piece), piece_at(1, piece), frames_in(piece)};
    }
    std::unique_lock lock(mutex_);
    released_ = piece;  // the pair handed out before this one
    changed_.notify_all();
    // Woken now and then to see whether the user interrupted, as a slow disk may hold a piece long.
    const auto have = [&] { return read_[0] > piece && read_[1] > piece; };
    while (!changed_.wait_for(lock, INTERRUPTION_POLL, [&] { return failed_ || have(); })) {
        lock.unlock();
        stop_if_interrupted();
        lock.lock();
    }
    const bool whole = have();
    lock.unlock();
    fail_if(!whole, "cannot read input file!");
    return {piece_at(0, piece), piece_at(1, piece), frames_in(piece)};
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
    const std::uint64_t frames = frames_ - first_run_frame_;
    const std::size_t whole_piece_frames = READ_PIECE_BYTES / pair_size_;
    frames_per_piece_ = static_cast<std::size_t>(std::min<std::uint64_t>(whole_piece_frames, frames));
    piece_bytes_ = frames_per_piece_ * pair_size_;
    piece_count_ = static_cast<std::size_t>((frames + frames_per_piece_ - 1) / frames_per_piece_);
    pieces_per_ring_ = std::clamp<std::size_t>(ring_bytes_ / (whole_piece_frames * pair_size_), 1, piece_count_);
    ring_ = large_buffer(2 * pieces_per_ring_ * piece_bytes_);
    for (int input = 0; input < 2; ++input) {
        fail_if(!seek_to(inputs_[input], offsets_[input]), "cannot read input file!");
        restart_readahead(inputs_[input], offsets_[input]);
    }
    try {
        thread_ = std::thread(&RunReader::read_all, this);
    } catch (const std::system_error&) {
        reads_inline_ = true;  // no thread to be had: each pair is read as the join needs it
    }
}

std::size_t RunReader::frames_in(std::size_t piece) const {
    return static_cast<std::size_t>(
        std::min<std::uint64_t>(frames_per_piece_, frames_ - first_run_frame_ - piece * frames_per_piece_));
}

// Fills piece `piece` of an input: the frames the input has left, then silence once it has run
// out. Nothing past an input's audio is read.
bool RunReader::read_piece(int input, std::size_t piece) {
    const std::size_t frames = frames_in(piece);
    std::uint64_t& left = frames_left_[input];
    const std::size_t have = static_cast<std::size_t>(std::min<std::uint64_t>(frames, left));
    unsigned char* bytes = piece_at(input, piece);
    if (std::fread(bytes, pair_size_, have, inputs_[input]) != have) return false;
    std::memset(bytes + have * pair_size_, silence_, (frames - have) * pair_size_);
    left -= have;
    return true;
}

int RunReader::next_input(int input) {
    std::unique_lock lock(mutex_);
    // The pieces of an input that may be read now: its ring holds those the main thread has not
    // released.
    const auto room = [&](int which) { return std::min(piece_count_, released_ + pieces_per_ring_) - read_[which]; };
    // Worth a seek: room for half a ring, or for all the input has left. The main thread waits
    // only for an input whose whole ring is free, so one is always worth it then.
    const auto worth_it = [&](int which) {
        return room(which) > 0 && room(which) >= std::min((pieces_per_ring_ + 1) / 2, piece_count_ - read_[which]);
    };
    if (read_[0] == piece_count_ && read_[1] == piece_count_) return -1;
    if (room(input) > 0) return input;  // on in the same file: no seek
    changed_.wait(lock, [&] { return stopping_ || worth_it(input) || worth_it(1 - input); });
    if (stopping_) return -1;
    return worth_it(input) ? input : 1 - input;
}

void RunReader::read_all() {
    for (int input = 0; (input = next_input(input)) >= 0;) {
        if (stopping_.load(std::memory_order_relaxed)) return;
        const bool read = read_piece(input, read_[input]);
        {
            std::lock_guard lock(mutex_);
            if (read) ++read_[input];
            else failed_ = true;
        }
        changed_.notify_all();
        if (!read) return;
    }
}
