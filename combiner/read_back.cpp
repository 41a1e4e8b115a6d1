#include "combiner/read_back.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "combiner/run_reader.h"
#include "wavefile/chunk.h"
#include "wavefile/console.h"

ReadBack::ReadBack(const std::string& path, std::string named)
    : named_(std::move(named)), file_(open_uncached(path)), blocks_(large_buffer(2 * READ_BACK_BYTES)), current_(blocks_.get()),
      ahead_(blocks_.get() + READ_BACK_BYTES) {
    if (file_) read_ahead();
}

// Uncached reads get no readahead from the system: reading the next block while this one is
// hashed keeps the disk busy.
void ReadBack::read_ahead() {
    next_read_ = std::async(std::launch::async,
                            [&file = file_, block = ahead_] { return read_uncached(file, block, READ_BACK_BYTES); });
}

bool ReadBack::refill() {
    filled_ = used_ = 0;
    if (at_end_ || failed_ || !file_) return false;
    const std::int64_t got = next_read_.get();
    failed_ = got < 0;
    if (failed_) return false;
    // A short read is the end: uncached reads past it may be refused, being off a sector's start.
    at_end_ = static_cast<std::size_t>(got) < READ_BACK_BYTES;
    std::swap(current_, ahead_);
    if (!at_end_) read_ahead();
    filled_ = static_cast<std::size_t>(got);
    hash_.add(current_, filled_);
    read_ += filled_;
    return filled_ > 0;
}

void ReadBack::stop_unless(bool same) const {
    if (same) return;
    if (named_.empty()) complain("%s\n", DOES_NOT_READ_BACK);
    else complain("%s: %s\n", named_.c_str(), DOES_NOT_READ_BACK);
    throw DoesNotReadBack{{DOES_NOT_READ_BACK}};
}

bool ReadBack::put(const unsigned char* bytes, std::size_t size) {
    while (size > 0) {
        if (used_ == filled_) {
            stop_if_interrupted();
            stop_unless(refill());
        }
        const std::size_t compared = std::min(size, filled_ - used_);
        stop_unless(std::memcmp(bytes, current_ + used_, compared) == 0);
        used_ += compared;
        bytes += compared;
        size -= compared;
    }
    return true;
}

std::string ReadBack::finish() {
    stop_unless(opened() && used_ == filled_ && !refill() && !failed_);
    return hash_.hex();
}

void report_verifying(const std::string& path) {
    if (path.empty()) report("verifying...\n\n");
    else report("verifying %s...\n\n", path.c_str());
    report_ruler();
}

void report_verified(const std::string& hash) { report("\nverified:             XXH3-128 %s\n", hash.c_str()); }

namespace {
// One output read back whole on a thread of its own: how far it has come, and once done its hash,
// or nothing when it could not be read.
class ReadBackThread {
public:
    explicit ReadBackThread(const std::string& path) : back_(path), thread_([this] { read_all(); }) {}
    ~ReadBackThread() {
        stopping_ = true;
        thread_.join();
    }
    ReadBackThread(const ReadBackThread&) = delete;
    ReadBackThread& operator=(const ReadBackThread&) = delete;

    // Whether it is done, waiting up to `time` for it.
    bool wait(std::chrono::milliseconds time) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, time, [&] { return done_; });
    }
    std::uint64_t bytes_read() const { return read_; }
    std::optional<std::string> hash() {
        std::lock_guard lock(mutex_);
        return hash_;
    }

private:
    void read_all() {
        while (!stopping_ && back_.refill()) read_ = back_.bytes_read();
        std::lock_guard lock(mutex_);
        if (back_.opened() && !back_.failed() && !stopping_) hash_ = back_.hash();
        done_ = true;
        changed_.notify_all();
    }

    ReadBack back_;
    std::atomic<std::uint64_t> read_ = 0;
    std::atomic<bool> stopping_ = false;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool done_ = false;
    std::optional<std::string> hash_;
    std::thread thread_;  // last: it starts once all else is ready
};

// Marks due for `read` of `size` bytes, as a bar of 50.
int marks_for(std::uint64_t read, std::uint64_t size) { return read >= size ? 50 : static_cast<int>(read * 50 / size); }
}  // namespace

std::vector<bool> verify_outputs(const std::vector<std::string>& paths, std::uint64_t size,
                                 const std::string& written_hash, bool named) {
    std::vector<std::unique_ptr<ReadBackThread>> backs;
    for (const std::string& path : paths) backs.push_back(std::make_unique<ReadBackThread>(path));
    std::vector<bool> verified;
    for (std::size_t at = 0; at < paths.size(); ++at) {
        ReadBackThread& back = *backs[at];
        report_verifying(named ? paths[at] : "");
        int marks = 0;
        for (bool done = false; !done;) {
            done = back.wait(INTERRUPTION_POLL);
            stop_if_interrupted();
            for (const int due = marks_for(back.bytes_read(), size); marks < due; ++marks) report(">");
        }
        const std::optional<std::string> hash = back.hash();
        const bool same = hash && back.bytes_read() == size && *hash == written_hash;
        if (same) report_verified(*hash);
        else if (named) complain("%s: %s\n", paths[at].c_str(), DOES_NOT_READ_BACK);
        else fail_if(true, DOES_NOT_READ_BACK);
        verified.push_back(same);
    }
    return verified;
}
