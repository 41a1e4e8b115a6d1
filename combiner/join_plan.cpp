#include "combiner/join_plan.h"

#include <algorithm>
#include <cinttypes>
#include <vector>

#include "wavefile/metadata.h"
#include "wavefile/platform/files.h"
#include "wavefile/report.h"
#include "wavefile/surround_header.h"

namespace {
// The frames to join: as many as both inputs hold, when the lengths agree; as the shorter holds
// (--trim), or as the longer holds with the shorter followed by silence (--pad), when they do not.
JoinLength join_length(std::uint64_t front_frames, std::uint64_t rear_frames, LengthRule rule) {
    const std::uint64_t frames =
        rule == LengthRule::pad ? std::max(front_frames, rear_frames) : std::min(front_frames, rear_frames);
    return {frames, std::min(frames, front_frames), std::min(frames, rear_frames)};
}

// Says what --trim or --pad did to inputs of different lengths.
void report_length_change(std::uint64_t front_frames, std::uint64_t rear_frames, LengthRule rule,
                          std::uint32_t rate) {
    if (rule == LengthRule::equal || front_frames == rear_frames) return;
    const std::uint64_t difference = front_frames > rear_frames ? front_frames - rear_frames : rear_frames - front_frames;
    const double seconds = rate == 0 ? 0.0 : static_cast<double>(difference) / rate;
    const char* longer = front_frames > rear_frames ? "front" : "rear";
    const char* shorter = front_frames > rear_frames ? "rear" : "front";
    if (rule == LengthRule::trim)
        report("trimmed:              %" PRIu64 " frames (%.3f s) of the %s dropped\n", difference, seconds, longer);
    else
        report("padded:               %" PRIu64 " frames (%.3f s) of silence after the %s\n", difference, seconds,
                    shorter);
}

}  // namespace

JoinPlan plan_join(std::FILE* front, std::FILE* rear, const AudioSpan& front_audio, const AudioSpan& rear_audio,
                   LengthRule lengths) {
    const SampleFormat format = read_sample_format(front, locate_chunk(front, FMT_ID));
    report("sample rate (Hz):     %u\nsample width (bits):  %u\n", format.sample_rate,
           unsigned{format.bits_per_sample});
    fail_if(format.kind == SampleKind::unsupported, "unsupported sample format!");
    fail_if(format.channels != 2, "front input is not a stereo wave file!");
    fail_if(!width_supported(format), "unsupported sample width!");
    const SampleFormat rear_format = read_sample_format(rear, locate_chunk(rear, FMT_ID));
    fail_if(rear_format.channels != 2, "rear input is not a stereo wave file!");
    fail_if(!same_samples(format, rear_format), "front and rear formats differ!");
    fail_if(lengths == LengthRule::equal && front_audio.length != rear_audio.length,
            "fatal error: quadrophonic file sizes not equal!");
    // A partial frame at the end (a recorder cut off mid-frame) is dropped, so the header
    // always matches the bytes written.
    const std::uint64_t pair_size = format.bits_per_sample / 4u;
    const std::uint64_t front_frames = front_audio.length / pair_size, rear_frames = rear_audio.length / pair_size;
    fail_if(!surround_byte_rate_fits(format), "input too large for a 6ch wave file!");
    report_length_change(front_frames, rear_frames, lengths, format.sample_rate);

    const std::vector<MetadataChunk> front_metadata = read_metadata(front, front_audio);
    const std::vector<MetadataChunk> rear_metadata = read_metadata(rear, rear_audio);
    if (time_references_differ(front_metadata, rear_metadata))
        complain("warning: front and rear time references differ!\n");
    JoinPlan plan{format, join_length(front_frames, rear_frames, lengths),
                  carried_chunks(front_metadata, rear_metadata, format), 0};
    plan.output_size = fill_surround_header(plan.length.frames * pair_size, format, plan.carried.size()).riff_size + 8;
    return plan;
}

std::optional<JoinPlan> plan_quietly(std::FILE* front, std::FILE* rear, const AudioSpan& front_audio,
                                     const AudioSpan& rear_audio, LengthRule lengths) {
    const Hush hush;
    try {
        return plan_join(front, rear, front_audio, rear_audio, lengths);
    } catch (const Stop&) {
        return std::nullopt;
    }
}

std::optional<JoinPlan> plan_quietly(const std::string& front_name, const std::string& rear_name, LengthRule lengths) {
    const Hush hush;
    try {
        const OwnedFile front(open_regular_file(front_name, "rb")), rear(open_regular_file(rear_name, "rb"));
        if (!front || !rear) return std::nullopt;
        const AudioSpan front_audio = locate_audio(front.get()), rear_audio = locate_audio(rear.get());
        return plan_quietly(front.get(), rear.get(), front_audio, rear_audio, lengths);
    } catch (const Stop&) {
        return std::nullopt;
    }
}

bool already_joined(const JoinPlan& plan, const std::string& front_name, const std::string& rear_name,
                    const std::string& output_name) {
    const std::optional<FileStamp> output = file_stamp(output_name), front = file_stamp(front_name),
                                   rear = file_stamp(rear_name);
    return output && front && rear && output->modified >= front->modified && output->modified >= rear->modified &&
           output->size == plan.output_size;
}

