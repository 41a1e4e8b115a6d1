// The six-channel copy: front pair, silent centre and LFE, rear pair, with a 50-mark progress bar.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "combiner/output_hash.h"
#include "wavefile/surround_header.h"

// Decides when the bar gets a mark: the first frame past each of the thresholds 0, 2, ... 98
// percent gets one, so N frames give N marks below 50 frames and 50 from there on.
class ProgressMeter {
public:
    ProgressMeter(std::uint64_t front_length, std::uint32_t output_frame_size)
        : front_length_(front_length), frame_size_(output_frame_size) {}

    // Marks due for the frames that took the output data from written_before to written_after bytes.
    int advance(std::uint64_t written_before, std::uint64_t written_after);

private:
    double percent(std::uint64_t written) const {
        return 100.0 * static_cast<double>(written) / static_cast<double>(front_length_) / 3.0;
    }

    std::uint64_t front_length_;
    std::uint32_t frame_size_;
    double next_mark_ = 0.0;
};

// How many stereo frames the output holds, and how many of them each input gives: after the
// last of an input's frames, its two channels are silent.
struct JoinLength {
    std::uint64_t frames;
    std::uint64_t front_frames, rear_frames;  // at most frames
};

// Where a join's bytes go, in order: the output file, or a file read back to compare them with.
class JoinSink {
public:
    // Takes the next bytes; false when they could not be written.
    virtual bool put(const unsigned char* bytes, std::size_t size) = 0;

protected:
    ~JoinSink() = default;
};

// The output: every byte a join writes goes through put, and into the hash when one is kept.
class OutputFile final : public JoinSink {
public:
    OutputFile(std::FILE* file, OutputHash* hash) : file_(file), hash_(hash) {}
    bool put(const unsigned char* bytes, std::size_t size) override;

private:
    std::FILE* file_;
    OutputHash* hash_;
};

// Puts the header for the joined frames (WAVE, or RF64 when a WAVE file cannot hold them) with
// the carried chunks inside it, then the interleaved audio, one mark of the progress bar at a
// time, in whole pages of the file but for the last. front and rear stand at the first byte of
// their audio, each holding at least the frames it gives; the width is a supported one. Stops at
// the next block once interrupted. The inputs are read from the disk into a ring of ring_bytes
// each (INPUT_RING_BYTES for a join on its own).
void put_surround(std::FILE* front, std::FILE* rear, JoinSink& out, const JoinLength& length, const SampleFormat& format,
                  const std::string& carried, std::size_t ring_bytes);

// The whole join as the console shows it: the header, the count line and the ruler, and the audio
// with its marks. "done." is the caller's, once the output is in place.
void write_surround(std::FILE* front, std::FILE* rear, JoinSink& out, const JoinLength& length,
                    const SampleFormat& format, const std::string& carried);

// The ruler a progress bar's marks grow under, 50 wide.
void report_ruler();
