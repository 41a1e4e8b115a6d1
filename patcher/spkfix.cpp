// spkfix: sets, in place, the lowest byte of each extensible WAVE file's channel mask to 0x3F
// (front left and right, centre, LFE, back left and right). Nothing else in a file changes.
#include <cstdio>
#include <optional>
#include <string>

#include "wavefile/chunk.h"
#include "wavefile/command_line.h"
#include "wavefile/platform/files.h"
#include "wavefile/platform/terminal.h"
#include "wavefile/report.h"
#include "wavefile/sample_format.h"
#include "wavefile/surround_header.h"

namespace {

const char USAGE[] =
    "usage: spkfix [-q] FILE.wav...\n"
    "\n"
    "Sets, in place, the lowest byte of the channel mask of each extensible WAVE\n"
    "file to 0x3F: front left and right, centre, low frequency, back left and right.\n"
    "\n"
    "options:\n"
    "  -q, --quiet    say nothing but what went wrong\n"
    "  -h, --help     print this help and exit\n"
    "  -V, --version  print the version and exit\n"
    "  --             end the options: every argument after it is a file name\n"
    "\n"
    "example:\n"
    "  spkfix take7F-6ch.wav take8F-6ch.wav\n"
    "\n"
    "exit status:\n"
    "  0    every file was patched\n"
    "  55   no file given\n"
    "  64   a wrong option\n"
    "  255  a stop, after its message; the files before it are patched, those after\n"
    "       it untouched (-1: 4294967295 in %ERRORLEVEL%)\n";

// Reports a file's mask byte and writes 0x3F over it, or stops the run through fail_if with
// the file unchanged. Returns the result of closing the file.
int patch_mask(const std::string& name) {
    // "r+b" never creates and never truncates.
    std::FILE* file = open_regular_file(name, "r+b");
    fail_if(file == nullptr, "cannot open front input file!");
    report("6ch wave file:      %s\n", name.c_str());

    const ChunkLocation fmt = locate_chunk(file, FMT_ID);
    const FmtFields format = read_fmt_fields(file, fmt);
    // A body too short for the mask would put the byte in the next chunk or past the end.
    fail_if(format.format_tag() != WAVE_FORMAT_EXTENSIBLE || fmt.declared_size < FMT_EXTENSIBLE_MIN_SIZE,
            "not a wavex file!");

    const std::int64_t mask_offset = fmt.body_offset + static_cast<std::int64_t>(FMT_CHANNEL_MASK);
    unsigned char old_mask = 0;
    bool have_mask = seek_to(file, mask_offset) && std::fread(&old_mask, 1, 1, file) == 1;
    fail_if(!have_mask, "not a wavex file!");
    report("old chmask = %.2X\n", old_mask);

    // The seek between the read and the write is what an update stream needs to change direction.
    const unsigned char new_mask = SIX_SPEAKER_MASK;
    bool written = seek_to(file, mask_offset) && std::fwrite(&new_mask, 1, 1, file) == 1 && std::fflush(file) == 0;
    fail_if(!written, "cannot write 6ch wave file!");
    report("set chmask to 0x3f\n");
    return std::fclose(file);
}

}  // namespace

int main(int argc, char* argv[]) try {
    keep_own_console_open();
    const CommandLine command = read_command_line(argc, argv, "spkfix", false);
    speak_to(stdout, command.quiet);
    report("spkfix - patches the channelmask in wavex files.\n"
           "v1.4 - the sixjoin developers\n\n");
    if (const std::optional<int> status = answer_without_running(command, USAGE)) return *status;
    if (command.files.empty()) {
        complain("insufficient parameters - 6ch wave file must be given!\n");
        return 55;
    }
    for (const std::string& name : command.files) {
        if (const int closed = patch_mask(name); closed != 0) return closed;
    }
    return 0;
} catch (const Stop&) {
    return STOP_STATUS;
}
