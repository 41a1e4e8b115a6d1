// sixjoin: joins the front and rear stereo files of a four-channel recording into one
// six-channel 5.1 WAVE file (front pair, silent centre and LFE, rear pair).
#include <algorithm>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "combiner/interleave.h"
#include "combiner/names.h"
#include "wavefile/chunk.h"
#include "wavefile/command_line.h"
#include "wavefile/metadata.h"
#include "wavefile/platform.h"
#include "wavefile/sample_format.h"
#include "wavefile/surround_header.h"

namespace {

const char USAGE[] =
    "usage: sixjoin [-o PATH] [-t | -p] FRONT.wav [REAR.wav]\n"
    "\n"
    "Joins the front and rear stereo files of a four-channel take into one\n"
    "six-channel 5.1 WAVE file. Without REAR.wav, the rear is FRONT.wav with F and R\n"
    "(f and r) swapped just before the extension. The output is FRONT.wav with\n"
    "-6ch.wav in place of its extension.\n"
    "\n"
    "options:\n"
    "  -o, --output PATH  write the output to PATH, or into PATH when it is a folder\n"
    "  -t, --trim         join inputs of different lengths as far as the shorter one\n"
    "                     goes, dropping the rest of the longer one\n"
    "  -p, --pad          join inputs of different lengths as far as the longer one\n"
    "                     goes, with silence after the end of the shorter one\n"
    "  -h, --help         print this help and exit\n"
    "  -V, --version      print the version and exit\n"
    "  --                 end the options: every argument after it is a file name\n"
    "\n"
    "examples:\n"
    "  every take of a card, joined into another folder:\n"
    "    for f in /media/card/*F.WAV; do sixjoin -o ~/takes \"$f\"; done\n"
    "  a take cut short, whose two files end apart:\n"
    "    sixjoin --trim take9F.WAV\n"
    "\n"
    "exit status:\n"
    "  0    the output was written in full (\"done.\")\n"
    "  25   the output cannot be created\n"
    "  64   a wrong option\n"
    "  73   no file given\n"
    "  255  any other stop, after its message (-1: 4294967295 in %ERRORLEVEL%)\n";

// The output's path: the derived name, or the one the user gave; a folder given gets the
// derived name's last component inside it.
std::string output_path(const std::string& derived, const std::optional<std::string>& given) {
    if (!given) return derived;
    if (!names_folder(*given)) return *given;
    return inside_folder(*given, std::string_view(derived).substr(last_component_start(derived)));
}

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
        std::printf("trimmed:              %" PRIu64 " frames (%.3f s) of the %s dropped\n", difference, seconds, longer);
    else
        std::printf("padded:               %" PRIu64 " frames (%.3f s) of silence after the %s\n", difference, seconds,
                    shorter);
}

// The copy moves blocks of whole frames; a stream buffer would only add a copy of each block
// and split it into two system calls.
void unbuffer(std::FILE* file) { std::setvbuf(file, nullptr, _IONBF, 0); }

}  // namespace

int main(int argc, char* argv[]) {
    keep_own_console_open();
    std::printf("sixjoin - converts 2 H2 ZOOM stereo waves into true surround 6ch wave.\n"
                "v1.4 - the sixjoin developers\n\n");
    const CommandLine command = read_command_line(argc, argv, "sixjoin", true);
    if (const std::optional<int> status = answer_without_running(command, USAGE)) return *status;
    const std::vector<std::string>& files = command.files;
    if (files.empty()) {
        std::printf("insufficient parameters - front [and optionally rear] wav must be given!\n");
        return 73;
    }
    const std::string& front_name = files[0];
    const std::string output_name = output_path(derive_output_name(front_name), command.output);

    std::FILE* front = open_regular_file(front_name, "rb");
    fail_if(front == nullptr, "cannot open front input file!");
    unbuffer(front);
    std::printf("front wave file:      %s\n", front_name.c_str());
    const AudioSpan front_audio = locate_audio(front);

    std::optional<std::string> rear_name = files.size() == 2 ? std::optional<std::string>(files[1])
                                                             : derive_rear_name(front_name);
    fail_if(!rear_name, "rear file not given and no auto-detect possible!");
    std::FILE* rear = open_regular_file(*rear_name, "rb");
    fail_if(rear == nullptr, "cannot open rear input file!");
    unbuffer(rear);
    std::printf("rear wave file:       %s\n", rear_name->c_str());
    fail_if(names_same_file(front_name, *rear_name), "front and rear input are the same file!");
    const AudioSpan rear_audio = locate_audio(rear);

    // Opening for writing empties the file, so an input must never be the output.
    fail_if(names_same_file(output_name, front_name) || names_same_file(output_name, *rear_name),
            "output file would overwrite an input file!");
    std::FILE* output = std::fopen(output_name.c_str(), "wb");
    if (output == nullptr) {
        std::printf("cannot open output file!\n");
        return 25;
    }
    unbuffer(output);
    std::printf("6ch output wave file: %s\n", output_name.c_str());

    const SampleFormat format = read_sample_format(front, locate_chunk(front, FMT_ID));
    std::printf("sample rate (Hz):     %u\nsample width (bits):  %u\n", format.sample_rate,
                unsigned{format.bits_per_sample});
    fail_if(format.kind == SampleKind::unsupported, "unsupported sample format!");
    fail_if(format.channels != 2, "front input is not a stereo wave file!");
    fail_if(!width_supported(format), "unsupported sample width!");
    const SampleFormat rear_format = read_sample_format(rear, locate_chunk(rear, FMT_ID));
    fail_if(rear_format.channels != 2, "rear input is not a stereo wave file!");
    fail_if(!same_samples(format, rear_format), "front and rear formats differ!");
    fail_if(command.lengths == LengthRule::equal && front_audio.length != rear_audio.length,
            "fatal error: quadrophonic file sizes not equal!");
    // A partial frame at the end (a recorder cut off mid-frame) is dropped, so the header
    // always matches the bytes written.
    const std::uint64_t pair_size = format.bits_per_sample / 4u;
    const std::uint64_t front_frames = front_audio.length / pair_size, rear_frames = rear_audio.length / pair_size;
    fail_if(!surround_byte_rate_fits(format), "input too large for a 6ch wave file!");
    report_length_change(front_frames, rear_frames, command.lengths, format.sample_rate);

    const std::vector<MetadataChunk> front_metadata = read_metadata(front, front_audio);
    const std::vector<MetadataChunk> rear_metadata = read_metadata(rear, rear_audio);
    if (time_references_differ(front_metadata, rear_metadata))
        std::printf("warning: front and rear time references differ!\n");

    fail_if(!seek_to(front, front_audio.offset), "cannot read input file!");
    fail_if(!seek_to(rear, rear_audio.offset), "cannot read input file!");
    write_surround(front, rear, output, join_length(front_frames, rear_frames, command.lengths), format,
                   carried_chunks(front_metadata, rear_metadata, format));

    std::fclose(front);
    std::fclose(rear);
    return std::fclose(output);
}
