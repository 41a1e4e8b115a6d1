// sixjoin: joins the front and rear stereo files of a four-channel recording into one
// six-channel 5.1 WAVE file (front pair, silent centre and LFE, rear pair).
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "combiner/interleave.h"
#include "combiner/names.h"
#include "wavefile/chunk.h"
#include "wavefile/platform.h"
#include "wavefile/surround_header.h"

namespace {

// The copy moves blocks of whole frames; a stream buffer would only add a copy of each block
// and split it into two system calls.
void unbuffer(std::FILE* file) { std::setvbuf(file, nullptr, _IONBF, 0); }

}  // namespace

int main(int argc, char* argv[]) {
    std::printf("sixjoin - converts 2 H2 ZOOM stereo waves into true surround 6ch wave.\n"
                "v1.4 - the sixjoin developers\n\n");
    if (argc < 2) {
        std::printf("insufficient parameters - front [and optionally rear] wav must be given!\n");
        return 73;
    }
    const std::string front_name = argv[1];
    const std::string output_name = derive_output_name(front_name);

    std::FILE* front = open_regular_file(front_name, "rb");
    fail_if(front == nullptr, "cannot open front input file!");
    unbuffer(front);
    std::printf("front wave file:      %s\n", front_name.c_str());
    const AudioSpan front_audio = locate_audio(front);

    std::optional<std::string> rear_name = argc == 3 ? std::optional<std::string>(argv[2])
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
    fail_if(front_audio.length != rear_audio.length, "fatal error: quadrophonic file sizes not equal!");
    // A partial frame at the end (a recorder cut off mid-frame) is dropped, so the header
    // always matches the bytes written.
    const std::uint64_t input_frame_size = format.bits_per_sample / 4u;
    const std::uint64_t length = front_audio.length - front_audio.length % input_frame_size;
    fail_if(!surround_byte_rate_fits(format), "input too large for a 6ch wave file!");

    fail_if(!seek_to(front, front_audio.offset), "cannot read input file!");
    fail_if(!seek_to(rear, rear_audio.offset), "cannot read input file!");
    write_surround(front, rear, output, length, format);

    std::fclose(front);
    std::fclose(rear);
    return std::fclose(output);
}
