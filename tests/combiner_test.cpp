// Name derivations and the progress meter.
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "combiner/destination.h"
#include "combiner/hash_list.h"
#include "combiner/interleave.h"
#include "combiner/names.h"
#include "test_support.h"

namespace {

struct NameCase {
    const char* front;
    const char* output;
    const char* rear;  // nullptr: no auto-detect possible
};

class NameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(NameTest, DerivesOutputAndRear) {
    const NameCase& c = GetParam();
    EXPECT_EQ(derive_output_name(c.front), c.output);
    std::optional<std::string> rear = derive_rear_name(c.front);
    if (c.rear == nullptr) {
        EXPECT_FALSE(rear.has_value()) << *rear;
    } else {
        EXPECT_EQ(rear.value_or("(none)"), c.rear);
    }
}

std::vector<NameCase> name_cases() {
    return {
        {"take7F.WAV", "take7F-6ch.wav", "take7R.WAV"},
        {"take.1.wav", "take.1-6ch.wav", nullptr},
        {"rec/take7f.wav", "rec/take7f-6ch.wav", "rec/take7r.wav"},
        {"take7R.wav", "take7R-6ch.wav", "take7F.wav"},
        {"take7r.wav", "take7r-6ch.wav", "take7f.wav"},
        {"take7X.WAV", "take7X-6ch.wav", nullptr},
        {"F.wav", "F-6ch.wav", "R.wav"},
        {"./F.wav", "./F-6ch.wav", "./R.wav"},
        {"../takes/F.wav", "../takes/F-6ch.wav", "../takes/R.wav"},
        {"my.takes/take7F", "my.takes/take7F-6ch.wav", "my.takes/take7R"},
        {"takeF", "takeF-6ch.wav", "takeR"},
        {".hiddenF", ".hiddenF-6ch.wav", ".hiddenR"},
        {"dir/.F", "dir/.F-6ch.wav", "dir/.R"},
        {"dir/", "dir/-6ch.wav", nullptr},
        {"", "-6ch.wav", nullptr},
        {"C:take7F.wav", "C:take7F-6ch.wav", "C:take7R.wav"},
#ifdef _WIN32
        // A backslash ends a component too, and a drive prefix belongs to the folder.
        {"rec.d\\take7F", "rec.d\\take7F-6ch.wav", "rec.d\\take7R"},
        {"D:\\rec.d/F.wav", "D:\\rec.d/F-6ch.wav", "D:\\rec.d/R.wav"},
        {"C:.hiddenF", "C:.hiddenF-6ch.wav", "C:.hiddenR"},
#else
        // A backslash is a character of a name here, so the dot is the extension's.
        {"rec.d\\take7F", "rec-6ch.wav", nullptr},
#endif
    };
}

INSTANTIATE_TEST_SUITE_P(Paths, NameTest, ::testing::ValuesIn(name_cases()));

TEST(NameLength, PathsOfAnyLengthWork) {
    const std::string folder(5000, 'd');
    EXPECT_EQ(derive_output_name(folder + "/takeF.wav"), folder + "/takeF-6ch.wav");
    EXPECT_EQ(derive_rear_name(folder + "/takeF.wav").value_or(""), folder + "/takeR.wav");
}

// The rule the meter must reproduce: one look per frame.
std::vector<int> marks_per_frame(std::uint64_t frames, std::uint32_t frame_size) {
    const std::uint64_t front_length = frames * frame_size / 3;
    std::vector<int> marks;
    double next_mark = 0.0;
    for (std::uint64_t done = 1; done <= frames; ++done) {
        double percent = 100.0 * static_cast<double>(done * frame_size) / static_cast<double>(front_length) / 3.0;
        bool mark = percent > next_mark;
        if (mark) next_mark += 2.0;
        marks.push_back(mark);
    }
    return marks;
}

struct MeterCase {
    std::uint64_t frames;
    int total_marks;
};

class MeterTest : public ::testing::TestWithParam<MeterCase> {};

TEST_P(MeterTest, BlocksMarkWhereFramesWould) {
    const MeterCase& c = GetParam();
    const std::uint32_t frame_size = 12;
    const std::vector<int> reference = marks_per_frame(c.frames, frame_size);
    for (std::uint64_t block : {1, 7, 64, 32768}) {
        ProgressMeter meter(c.frames * frame_size / 3, frame_size);
        int total = 0, expected_so_far = 0;
        for (std::uint64_t done = 0; done < c.frames; done += block) {
            std::uint64_t end = std::min(c.frames, done + block);
            total += meter.advance(done * frame_size, end * frame_size);
            for (std::uint64_t f = done; f < end; ++f) expected_so_far += reference[f];
            ASSERT_EQ(total, expected_so_far) << "block of " << block << " frames ending at frame " << end;
        }
        EXPECT_EQ(total, c.total_marks) << "block of " << block;
    }
}

INSTANTIATE_TEST_SUITE_P(Frames, MeterTest,
                         ::testing::Values(MeterCase{0, 0}, MeterCase{1, 1}, MeterCase{2, 2}, MeterCase{49, 49},
                                           MeterCase{50, 50}, MeterCase{100, 50}, MeterCase{10000, 50},
                                           MeterCase{100003, 50}));

// An input that ends before its measured length (cut while the copy runs) stops the copy
// before "done." rather than writing a header for audio that is not there.
TEST(Interleave, AShortReadStops) {
    TempDir dir;
    write_file(dir / "front", pattern(40, 1));
    write_file(dir / "rear", pattern(400, 2));
    std::FILE* front = std::fopen((dir / "front").string().c_str(), "rb");
    std::FILE* rear = std::fopen((dir / "rear").string().c_str(), "rb");
    std::FILE* out = std::fopen((dir / "out").string().c_str(), "wb");
    ASSERT_TRUE(front && rear && out);
    OutputFile sink(out, nullptr);
    EXPECT_EQ(stop_message([&] {
                  write_surround(front, rear, sink, {100, 100, 100}, {SampleKind::integer, 2, 44100, 16}, "");
              }),
              "cannot read input file!");
    for (std::FILE* file : {front, rear, out}) std::fclose(file);
}

// Whether a join fits its file system: FAT holds no file of 4 GiB or more, a join must fit
// what is free with what a killed run's .part gives back, and a file system that gives no figure
// is not checked.
struct RoomCase {
    const char* name;
    std::uint64_t size, freed;
    FileSystemFacts facts;
    const char* problem;  // nullptr: it fits
};

class RoomTest : public ::testing::TestWithParam<RoomCase> {};

TEST_P(RoomTest, DecidesBeforeTheFirstByte) {
    const RoomCase& c = GetParam();
    const char* problem = room_problem(c.size, c.freed, c.facts);
    EXPECT_STREQ(problem ? problem : "fits", c.problem ? c.problem : "fits");
}

constexpr std::uint64_t FOUR_GIB = std::uint64_t{1} << 32;
INSTANTIATE_TEST_SUITE_P(
    Disks, RoomTest,
    ::testing::Values(RoomCase{"exactly what is free", 1000, 0, {1, 1000, true}, nullptr},
                      RoomCase{"a byte more than is free", 1001, 0, {1, 1000, true}, NO_ROOM},
                      RoomCase{"a leftover .part gives its room back", 1500, 500, {1, 1000, true}, nullptr},
                      RoomCase{"no figure: not checked", FOUR_GIB * 4, 0, {1, std::nullopt, true}, nullptr},
                      RoomCase{"FAT, a byte under 4 GiB", FOUR_GIB - 1, 0, {1, FOUR_GIB * 2, false}, nullptr},
                      RoomCase{"FAT, 4 GiB", FOUR_GIB, 0, {1, FOUR_GIB * 2, false}, TOO_LARGE_FOR_FILE_SYSTEM},
                      RoomCase{"FAT without a figure, 4 GiB", FOUR_GIB, 0, {std::nullopt, std::nullopt, false},
                               TOO_LARGE_FOR_FILE_SYSTEM},
                      RoomCase{"exFAT or NTFS, 4 GiB", FOUR_GIB, 0, {1, FOUR_GIB * 2, true}, nullptr}),
    [](const auto& info) { return test_name(info.param.name); });

}  // namespace

// The C4 ID's published values, and one whose base-58 digits need the padding.
TEST(HashList, C4IdsAreTheStandardOnes) {
    EXPECT_EQ(c4_id(""),
              "c459dsjfscH38cYeXXYogktxf4Cd9ibshE3BHUo6a58hBXmRQdZrAkZzsWcbWtDg5oQstpDuni4Hirj75GEmTc1sFT");
    EXPECT_EQ(c4_id("foo"),
              "c45xZeXwMSpqXjpDumcHMA6mhoAmGHkUo7r9WmN2UgSEQzj9KjgseaQdkEJ11fGb5S1WEENcV3q8RFWwEeVpC7Fjk2");
    for (const char* bytes : {"a", "sixjoin", "\xff\xfe"}) EXPECT_EQ(c4_id(bytes).size(), 90u) << bytes;
}
