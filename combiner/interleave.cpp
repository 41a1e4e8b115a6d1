#include "combiner/interleave.h"

#include <algorithm>
#include <cinttypes>
#include <cstring>

#include "combiner/run_reader.h"
#include "wavefile/console.h"
#include "wavefile/chunk.h"
#include "wavefile/surround_header.h"

namespace {
// The interleave and the output writes go in blocks of 32 KiB of each input, small enough that
// the output block is still in the CPU's cache when write() copies it out (blocks of 256 KiB
// measured two to four times slower in system time).
constexpr std::size_t INPUT_BLOCK_BYTES = 32 * 1024;
unsigned char out_block[3 * INPUT_BLOCK_BYTES];

// Fixed sample sizes let the compiler turn each copy into plain moves. The centre and LFE
// samples between the two pairs are never touched: they keep the silence filled in once.
template <std::size_t SampleBytes>
void interleave_frames(const unsigned char* front, const unsigned char* rear, std::size_t frames) {
    constexpr std::size_t pair = 2 * SampleBytes;
    constexpr std::size_t six = 6 * SampleBytes;
    for (std::size_t i = 0; i < frames; ++i) {
        std::memcpy(out_block + i * six, front + i * pair, pair);
        std::memcpy(out_block + i * six + 2 * pair, rear + i * pair, pair);
    }
}

void interleave(std::uint32_t sample_bytes, const unsigned char* front, const unsigned char* rear,
                std::size_t frames) {
    switch (sample_bytes) {
        case 1: interleave_frames<1>(front, rear, frames); break;
        case 2: interleave_frames<2>(front, rear, frames); break;
        case 3: interleave_frames<3>(front, rear, frames); break;
        case 4: interleave_frames<4>(front, rear, frames); break;
        default: interleave_frames<8>(front, rear, frames); break;
    }
}

bool write_all(std::FILE* out, const void* bytes, std::size_t size) {
    return std::fwrite(bytes, 1, size, out) == size;
}
}  // namespace

int ProgressMeter::advance(std::uint64_t written_before, std::uint64_t written_after) {
    // The percentage only grows, so a block whose last frame stays under the next threshold
    // holds no mark; only the few blocks that cross one are looked at frame by frame.
    const double last = percent(written_after);
    int marks = 0;
    for (std::uint64_t written = written_before + frame_size_; written <= written_after && last > next_mark_;
         written += frame_size_) {
        if (percent(written) > next_mark_) {
            ++marks;
            next_mark_ += 2.0;
        }
    }
    return marks;
}

bool OutputFile::put(const unsigned char* bytes, std::size_t size) {
    if (!write_all(file_, bytes, size)) return false;
    if (hash_) hash_->add(bytes, size);
    return true;
}

void report_ruler() { report("0%%---------------------50%%--------------------100%%\n"); }

std::uint64_t put_surround_header(JoinSink& out, const JoinLength& length, const SampleFormat& format,
                                  const std::string& carried) {
    const std::size_t pair_size = format.bits_per_sample / 4u;
    const SurroundHeader header = fill_surround_header(length.frames * pair_size, format, carried.size());
    const unsigned char* head = header.bytes.data();
    const auto* carried_bytes = reinterpret_cast<const unsigned char*>(carried.data());
    const bool written = out.put(head, header.carried_at()) && out.put(carried_bytes, carried.size()) &&
                         out.put(head + header.carried_at(), header.size - header.carried_at());
    if (!written) stop_if_interrupted();
    fail_if(!written, "cannot write output file!");
    return header.riff_size;
}

void put_surround_audio(std::FILE* front, std::FILE* rear, JoinSink& out, const JoinLength& length,
                        const SampleFormat& format, std::size_t run_bytes) {
    const std::size_t pair_size = format.bits_per_sample / 4u;
    const std::uint32_t sample_bytes = format.bits_per_sample / 8u;
    const std::uint32_t frame_size = surround_frame_size(format.bits_per_sample);
    const std::size_t frames_per_block = INPUT_BLOCK_BYTES / pair_size;
    const unsigned char silence = silence_byte(format);
    std::memset(out_block, silence, sizeof out_block);

    ProgressMeter meter(length.frames * pair_size, frame_size);
    RunReader reader(front, rear, length.frames, length.front_frames, length.rear_frames, pair_size, silence, run_bytes);
    for (std::uint64_t done = 0; done < length.frames;) {
        const RunPair runs = reader.next();
        for (std::size_t at = 0; at < runs.frames; at += frames_per_block) {
            stop_if_interrupted();
            const std::size_t frames = std::min(frames_per_block, runs.frames - at);
            interleave(sample_bytes, runs.front + at * pair_size, runs.rear + at * pair_size, frames);
            // A write that fails as the user interrupts (a pipe whose reader went with the same
            // Ctrl-C) is the interruption, not a write failure.
            const bool written = out.put(out_block, frames * frame_size);
            if (!written) stop_if_interrupted();
            fail_if(!written, "cannot write output file!");
            const std::uint64_t bytes = (done + at) * frame_size;
            for (int marks = meter.advance(bytes, bytes + frames * frame_size); marks > 0; --marks) report(">");
        }
        done += runs.frames;
    }
}

void write_surround(std::FILE* front, std::FILE* rear, JoinSink& out, const JoinLength& length,
                    const SampleFormat& format, const std::string& carried) {
    report("writing %" PRIu64 " bytes...\n\n", put_surround_header(out, length, format, carried));
    report_ruler();
    put_surround_audio(front, rear, out, length, format, INPUT_RUN_BYTES);
}
