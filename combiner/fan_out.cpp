#include "combiner/fan_out.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <system_error>
#include <utility>

#include "combiner/run_reader.h"

FanOut::FanOut(const std::vector<Destination*>& destinations, OutputHash* hash, bool flush)
    : destinations_(destinations), hash_(hash), flush_(flush), blocks_(large_buffer(FAN_OUT_BLOCKS * FAN_OUT_BLOCK_BYTES)),
      written_(destinations.size(), 0), failed_(destinations.size(), false), placed_(destinations.size(), false) {
    try {
        for (std::size_t writer = 0; writer < destinations_.size(); ++writer)
            writers_.emplace_back(&FanOut::write_all, this, writer);
    } catch (const std::system_error&) {
        // Not a thread for each: the main thread writes every block to each destination in turn.
        stop_writers();
        stopping_ = false;
    }
}

FanOut::~FanOut() { stop_writers(); }

void FanOut::stop_writers() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    for (std::thread& writer : writers_) writer.join();
    writers_.clear();
}

template <class Ready>
void FanOut::wait_until(std::unique_lock<std::mutex>& lock, Ready ready) {
    while (!changed_.wait_for(lock, INTERRUPTION_POLL, ready)) {
        lock.unlock();
        stop_if_interrupted();
        lock.lock();
    }
}

bool FanOut::all_failed() const { return std::all_of(failed_.begin(), failed_.end(), [](bool failed) { return failed; }); }

bool FanOut::put(const unsigned char* bytes, std::size_t size) {
    if (hash_) hash_->add(bytes, size);
    while (size > 0) {
        const std::size_t taken = std::min(size, FAN_OUT_BLOCK_BYTES - filled_);
        std::memcpy(block(filling_) + filled_, bytes, taken);
        filled_ += taken;
        bytes += taken;
        size -= taken;
        if (filled_ == FAN_OUT_BLOCK_BYTES) hand_over();
    }
    return true;
}

void FanOut::hand_over() {
    if (writers_.empty()) {
        write_here(filling_++, std::exchange(filled_, 0));
        if (all_failed()) throw NoDestinationLeft{{CANNOT_WRITE_OUTPUT}};
        return;
    }
    std::unique_lock lock(mutex_);
    sizes_[filling_ % FAN_OUT_BLOCKS] = filled_;
    handed_over_ = ++filling_;
    filled_ = 0;
    changed_.notify_all();
    // The next block reuses the slot of the block FAN_OUT_BLOCKS before it: every destination
    // still writing must be done with that one.
    const auto slot_free = [&] {
        for (std::size_t writer = 0; writer < written_.size(); ++writer)
            if (!failed_[writer] && written_[writer] + FAN_OUT_BLOCKS <= filling_) return false;
        return true;
    };
    wait_until(lock, slot_free);
    if (all_failed()) throw NoDestinationLeft{{CANNOT_WRITE_OUTPUT}};
}

std::vector<bool> FanOut::finish() {
    if (writers_.empty()) {
        if (filled_ > 0) write_here(filling_++, std::exchange(filled_, 0));
        for (std::size_t writer = 0; writer < destinations_.size(); ++writer)
            if (!failed_[writer]) place(writer);
        return failed_;
    }
    std::unique_lock lock(mutex_);
    if (filled_ > 0) {
        sizes_[filling_ % FAN_OUT_BLOCKS] = filled_;
        handed_over_ = ++filling_;
        filled_ = 0;
    }
    all_handed_over_ = true;
    changed_.notify_all();
    wait_until(lock, [&] {
        for (std::size_t writer = 0; writer < placed_.size(); ++writer)
            if (!placed_[writer] && !failed_[writer]) return false;
        return true;
    });
    return failed_;
}

void FanOut::write_here(std::size_t number, std::size_t size) {
    for (std::size_t writer = 0; writer < destinations_.size(); ++writer)
        if (!failed_[writer]) write_block(writer, number, size);
}

bool FanOut::write_block(std::size_t writer, std::size_t number, std::size_t size) {
    const bool written = std::fwrite(block(number), 1, size, destinations_[writer]->file()) == size;
    {
        std::lock_guard lock(mutex_);
        written_[writer] = number + 1;
        failed_[writer] = !written;
    }
    changed_.notify_all();
    return written;
}

void FanOut::place(std::size_t writer) {
    bool placed = false;
    try {
        placed = destinations_[writer]->place(flush_);
    } catch (const std::exception&) {  // no memory for a path: this destination fails alone
    }
    {
        std::lock_guard lock(mutex_);
        placed_[writer] = placed;
        failed_[writer] = !placed;
    }
    changed_.notify_all();
}

void FanOut::write_all(std::size_t writer) {
    for (std::size_t number = 0;; ++number) {
        std::size_t size = 0;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return stopping_ || number < handed_over_ || all_handed_over_; });
            if (stopping_) return;
            if (number == handed_over_) break;  // all handed over, and all written
            size = sizes_[number % FAN_OUT_BLOCKS];
        }
        if (!write_block(writer, number, size)) return;
    }
    place(writer);
}
