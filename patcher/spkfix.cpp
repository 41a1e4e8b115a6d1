// spkfix: sets, in place, the lowest byte of an extensible WAVE file's channel mask to 0x3F
// (front left and right, centre, LFE, back left and right). Nothing else in the file changes.
#include <cstdio>

#include "wavefile/chunk.h"
#include "wavefile/platform.h"
#include "wavefile/surround_header.h"

int main(int argc, char* argv[]) {
    std::printf("spkfix - patches the channelmask in wavex files.\n"
                "v1.4 - the sixjoin developers\n\n");
    if (argc < 2) {
        std::printf("insufficient parameters - 6ch wave file must be given!\n");
        return 55;
    }
    // "r+b" never creates and never truncates.
    std::FILE* file = open_regular_file(argv[1], "r+b");
    fail_if(file == nullptr, "cannot open front input file!");
    std::printf("6ch wave file:      %s\n", argv[1]);

    const ChunkLocation fmt = locate_chunk(file, FMT_ID);
    const FmtFields format = read_fmt_fields(file, fmt);
    // A body too short for the mask would put the byte in the next chunk or past the end.
    fail_if(format.format_tag() != WAVE_FORMAT_EXTENSIBLE || fmt.declared_size < FMT_EXTENSIBLE_MIN_SIZE,
            "not a wavex file!");

    const std::int64_t mask_offset = fmt.body_offset + static_cast<std::int64_t>(FMT_CHANNEL_MASK);
    unsigned char old_mask = 0;
    bool have_mask = seek_to(file, mask_offset) && std::fread(&old_mask, 1, 1, file) == 1;
    fail_if(!have_mask, "not a wavex file!");
    std::printf("old chmask = %.2X\n", old_mask);

    // The seek between the read and the write is what an update stream needs to change direction.
    const unsigned char new_mask = SIX_SPEAKER_MASK;
    bool written = seek_to(file, mask_offset) && std::fwrite(&new_mask, 1, 1, file) == 1 &&
                   std::fflush(file) == 0;
    fail_if(!written, "cannot write 6ch wave file!");
    std::printf("set chmask to 0x3f\n");

    return std::fclose(file);
}
