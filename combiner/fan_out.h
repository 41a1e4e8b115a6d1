// One join written to several destinations at once, each by a thread of its own, so that every
// disk works at the same time. The join's bytes go once into a ring of blocks that every thread
// writes from: a destination that stalls holds the others back only once every block in flight
// waits for it, and one that fails drops out, leaving the others to go on. Where the threads
// cannot be started, the main thread writes each block to every destination in turn.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>
#include <vector>

#include "combiner/destination.h"
#include "combiner/interleave.h"
#include "combiner/output_hash.h"
#include "wavefile/chunk.h"
#include "wavefile/platform/files.h"

// The ring: the fastest destination runs up to FAN_OUT_BLOCKS - 1 blocks (5 MiB) ahead of the
// slowest, and the ring adds 6 MiB to a join whatever the number of destinations.
inline constexpr std::size_t FAN_OUT_BLOCK_BYTES = 1024 * 1024;
inline constexpr std::size_t FAN_OUT_BLOCKS = 6;

// What stops a join once every destination has failed, each with its own message.
struct NoDestinationLeft : Stop {};

class FanOut final : public JoinSink {
public:
    // destinations: created and open. hash: fed once with every byte, for all of them. flush: each
    // output is on its disk before its rename (--verify).
    FanOut(const std::vector<Destination*>& destinations, OutputHash* hash, bool flush);
    // Stops the writers after the write or the placing in progress, and waits for them.
    ~FanOut();
    FanOut(const FanOut&) = delete;
    FanOut& operator=(const FanOut&) = delete;

    // Waits while every block is in flight; throws NoDestinationLeft once all have failed.
    bool put(const unsigned char* bytes, std::size_t size) override;
    // Hands over the last block and waits until every destination has written all and placed its
    // output. Which destinations failed, in the order given.
    std::vector<bool> finish();

private:
    void stop_writers();
    void write_all(std::size_t writer);
    // Without writer threads: block `number` written to every destination still writing.
    void write_here(std::size_t number, std::size_t size);
    // One block to one destination, then its output placed; each records how it went.
    bool write_block(std::size_t writer, std::size_t number, std::size_t size);
    void place(std::size_t writer);
    void hand_over();
    // Waits, looking now and then whether the user interrupted, until ready holds.
    template <class Ready>
    void wait_until(std::unique_lock<std::mutex>& lock, Ready ready);
    bool all_failed() const;
    unsigned char* block(std::size_t number) const { return blocks_.get() + number % FAN_OUT_BLOCKS * FAN_OUT_BLOCK_BYTES; }

    std::vector<Destination*> destinations_;
    OutputHash* hash_;
    bool flush_;
    Buffer blocks_;
    std::size_t filling_ = 0, filled_ = 0;  // the block being filled, counted from the first, and its bytes

    std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t sizes_[FAN_OUT_BLOCKS] = {};
    std::size_t handed_over_ = 0;  // blocks complete
    bool all_handed_over_ = false;
    std::vector<std::size_t> written_;  // the blocks each destination is done with
    std::vector<bool> failed_, placed_;
    bool stopping_ = false;
    std::vector<std::thread> writers_;  // last: they start once all else is ready; none when none could
};
