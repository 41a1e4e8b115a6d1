#include "combiner/read_back.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>

#include "combiner/run_reader.h"
#include "wavefile/chunk.h"
#include "wavefile/report.h"

ReadBack::ReadBack(const std::string& path, std::string named)
    : named_(std::move(named)), file_(open_uncached(path)), blocks_(large_buffer(2 * READ_BACK_BYTES)), current_(blocks_.get()),
      ahead_(blocks_.get() + READ_BACK_BYTES) {
    if (file_) read_ahead();
}

// Uncached reads get no readahead from the system: reading the next block while this one is
// hashed keeps the disk busy. Without a thread to read it on, it is read when it is needed.
void ReadBack::read_ahead() {
    const auto read = [&file = file_, block = ahead_] { return read_uncached(file, block, READ_BACK_BYTES); };
    try {
        next_read_ = std::async(std::launch::async, read);
    } catch (const std::system_error&) {
        next_read_ = std::async(std::launch::deferred, read);
    }
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
// or nothing when it could not be read. Where no thread can be started, it is read block by block
// by whoever waits for it.
class ReadBackThread {
public:
    explicit ReadBackThread(const std::string& path) : back_(path) {
        try {
            thread_ = std::thread([this] { read_all(); });
        } catch (const std::system_error&) {
        }
    }
    ~ReadBackThread() {
        stopping_ = true;
        if (thread_.joinable()) thread_.join();
    }
    ReadBackThread(const ReadBackThread&) = delete;
    ReadBackThread& operator=(const ReadBackThread&) = delete;

    // Whether it is done, waiting up to `time` for it, or reading a block here without a thread.
    bool wait(std::chrono::milliseconds time) {
        if (!thread_.joinable()) return read_next();
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
        while (!read_next()) {
        }
    }
    // Reads the next block; true once all is read, or the reading failed.
    bool read_next() {
        std::optional<std::string> hash;
        try {
            const bool more = !stopping_ && back_.refill();
            read_ = back_.bytes_read();
            if (more) return false;
            if (back_.opened() && !back_.failed() && !stopping_) hash = back_.hash();
        } catch (const std::exception&) {  // no memory for the next read: not proven
        }
        std::lock_guard lock(mutex_);
        hash_ = std::move(hash);
        done_ = true;
        changed_.notify_all();
        return true;
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
