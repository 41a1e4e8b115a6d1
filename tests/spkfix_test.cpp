// spkfix end to end: status, console text and the file's bytes after the run.
#include <gtest/gtest.h>

#include <filesystem>

#include "program_runner.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

const std::string BANNER =
    "spkfix - patches the channelmask in wavex files.\n"
    "v1.4 - the sixjoin developers\n\n";
const std::string NAMED = "6ch wave file:      s.wav\n";
const Bytes AUDIO = pattern(48, 7);

Bytes six_channel(std::uint32_t mask, const Bytes& before = {}) {
    return riff_wave({before, chunk("fmt ", extensible_fmt(6, 48000, 16, mask)), chunk("data", AUDIO)});
}

// The file with its mask's lowest byte, at mask_at, set to 0x3F.
Bytes patched(Bytes file, std::size_t mask_at = 40) { return with_byte(std::move(file), mask_at, 0x3F); }

// A "fmt " chunk declaring declared_size, holding only the first `held` bytes of an extensible body.
Bytes cut_fmt(std::uint32_t declared_size, std::size_t held) {
    Bytes body = extensible_fmt(6, 48000, 16, 0x33);
    body.resize(held);
    return riff_wave({chunk_declaring("fmt ", declared_size, body)});
}

struct FixCase {
    const char* name;
    Bytes file;  // written as s.wav
    std::vector<std::string> args;
    int status;
    std::string console;  // after the banner
    Bytes after;          // s.wav after the run; empty: unchanged
    unsigned long long file_size_limit = NO_FILE_SIZE_LIMIT;
    std::vector<Bytes> more = {};        // written as t.wav, u.wav, ...
    std::vector<Bytes> more_after = {};  // each after the run; empty or missing: unchanged
    bool quiet = false;                  // -q: no banner before the console text
};

std::vector<FixCase> fix_cases() {
    const Bytes odd = chunk("junk", Bytes(3, 0xEE));
    const std::vector<std::string> s{"s.wav"};
    const std::string patch = "\nset chmask to 0x3f\n";
    const Bytes rf64 = big_wave("RF64", {ds64_chunk(140, 48, 4), chunk("fmt ", extensible_fmt(6, 48000, 16, 0x33)),
                                         chunk_declaring("data", 0xFFFFFFFF, AUDIO)});
    return {
        {"mask already 0x3F", six_channel(0x3F), s, 0, NAMED + "old chmask = 3F" + patch, {}},
        {"mask 0x33", six_channel(0x33), s, 0, NAMED + "old chmask = 33" + patch, patched(six_channel(0x33))},
        {"mask 0x60F keeps its high bytes", six_channel(0x60F), s, 0, NAMED + "old chmask = 0F" + patch,
         six_channel(0x63F)},
        {"upper-case hex", six_channel(0xAB), s, 0, NAMED + "old chmask = AB" + patch, patched(six_channel(0xAB))},
        {"two digits", six_channel(0x05), s, 0, NAMED + "old chmask = 05" + patch, patched(six_channel(0x05))},
        {"RF64", rf64, s, 0, NAMED + "old chmask = 33" + patch, patched(rf64, 76)},
        {"fmt after a padded odd chunk", six_channel(0x33, odd), s, 0, NAMED + "old chmask = 33" + patch,
         patched(six_channel(0x33, odd), 52)},
        {"three files", six_channel(0x33), {"s.wav", "t.wav", "u.wav"}, 0,
         NAMED + "old chmask = 33" + patch + "6ch wave file:      t.wav\nold chmask = 0F" + patch +
             "6ch wave file:      u.wav\nold chmask = 3F" + patch,
         patched(six_channel(0x33)), NO_FILE_SIZE_LIMIT, {six_channel(0x60F), six_channel(0x3F)},
         {six_channel(0x63F)}},
        {"three files, the second not extensible", six_channel(0x33), {"s.wav", "t.wav", "u.wav"}, 255,
         NAMED + "old chmask = 33" + patch + "6ch wave file:      t.wav\nnot a wavex file!\n",
         patched(six_channel(0x33)), NO_FILE_SIZE_LIMIT, {stereo_wave(48000, 16, AUDIO), six_channel(0x33)}},
        {"a second file missing", six_channel(0x33), {"s.wav", "none.wav"}, 255,
         NAMED + "old chmask = 33" + patch + "cannot open front input file!\n", patched(six_channel(0x33))},
        {"--help", six_channel(0x33), {"--help", "s.wav"}, 0, "usage: spkfix [-q] FILE.wav...\n...", {}},
        {"-V", six_channel(0x33), {"-V"}, 0, "", {}},
        {"an option spkfix does not take", six_channel(0x33), {"-o", "s.wav"}, 64,
         "unknown option '-o' - see spkfix --help\n", {}},
        {"no argument", six_channel(0x33), {}, 55, "insufficient parameters - 6ch wave file must be given!\n", {}},
        {"missing file", six_channel(0x33), {"none.wav"}, 255, "cannot open front input file!\n", {}},
        {"a directory", six_channel(0x33), {"."}, 255, "cannot open front input file!\n", {}},
        {"/dev/null", six_channel(0x33), {"/dev/null"}, 255, "cannot open front input file!\n", {}},
        {"/dev/zero", six_channel(0x33), {"/dev/zero"}, 255, "cannot open front input file!\n", {}},
        {"plain PCM", stereo_wave(48000, 16, AUDIO), s, 255, NAMED + "not a wavex file!\n", {}},
        {"not RIFF", with_byte(six_channel(0x33), 0, 'r'), s, 255, NAMED + "not a wave file!\n", {}},
        {"no fmt chunk", riff_wave({chunk("data", AUDIO)}), s, 255, NAMED + "invalid wave file!\n", {}},
        {"fmt too short for the mask", riff_wave({chunk("fmt ", Bytes(22, 0xFE)), chunk("data", AUDIO)}), s, 255,
         NAMED + "not a wavex file!\n", {}},
        {"file ends before the mask byte", cut_fmt(40, 20), s, 255, NAMED + "not a wavex file!\n", {}},
        {"fmt shorter than 16 bytes", cut_fmt(12, 12), s, 255, NAMED + "invalid wave file!\n", {}},
        {"file ends inside the first 16 bytes", cut_fmt(40, 10), s, 255, NAMED + "invalid wave file!\n", {}},
        {"a write that fails", six_channel(0x33), s, 255,
         NAMED + "old chmask = 33\ncannot write 6ch wave file!\n", {}, 30},
        {"-q: nothing said", six_channel(0x33), {"-q", "s.wav"}, 0, "", patched(six_channel(0x33)),
         NO_FILE_SIZE_LIMIT, {}, {}, true},
        {"--quiet: the stop's message alone", six_channel(0x33), {"--quiet", "s.wav", "t.wav", "u.wav"}, 255,
         "not a wavex file!\n", patched(six_channel(0x33)), NO_FILE_SIZE_LIMIT,
         {stereo_wave(48000, 16, AUDIO), six_channel(0x33)}, {}, true},
    };
}

void PrintTo(const FixCase& c, std::ostream* out) { *out << c.name; }

class FixTest : public ::testing::TestWithParam<FixCase> {};

TEST_P(FixTest, StatusConsoleAndBytes) {
    const FixCase& c = GetParam();
    TempDir dir;
    write_file(dir / "s.wav", c.file);
    for (std::size_t i = 0; i < c.more.size(); ++i) write_file(dir / (std::string(1, 't' + i) + ".wav"), c.more[i]);

    RunResult run = run_program(SPKFIX_PATH, c.args, dir.path(), c.file_size_limit);

    EXPECT_EQ(run.status, c.status);
    EXPECT_TRUE(console_matches((c.quiet ? "" : BANNER) + c.console, run.out));
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(same_bytes(c.after.empty() ? c.file : c.after, read_file(dir / "s.wav")));
    for (std::size_t i = 0; i < c.more.size(); ++i) {
        const bool changed = i < c.more_after.size() && !c.more_after[i].empty();
        EXPECT_TRUE(same_bytes(changed ? c.more_after[i] : c.more[i], read_file(dir / (std::string(1, 't' + i) + ".wav"))));
    }
    EXPECT_FALSE(fs::exists(dir / "none.wav"));
}

INSTANTIATE_TEST_SUITE_P(Runs, FixTest, ::testing::ValuesIn(fix_cases()),
                         [](const auto& info) { return test_name(info.param.name); });

}  // namespace
