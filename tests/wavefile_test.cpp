// The chunk walker and the six-channel header.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>

#include "test_support.h"
#include "wavefile/chunk.h"
#include "wavefile/surround_header.h"

namespace {

struct WalkCase {
    const char* name;
    Bytes file;
    ChunkId wanted;
    std::int64_t body_offset;  // -1: the walk stops the process
    std::uint32_t declared_size;
    const char* message;  // printed when it stops
};

std::vector<WalkCase> walk_cases() {
    const Bytes fmt = chunk("fmt ", pcm_fmt(2, 44100, 16));
    const Bytes data = chunk("data", Bytes(8, 1));
    const Bytes list = chunk("LIST", Bytes(6, 2));
    return {
        {"plain file, data after a 16-byte fmt", riff_wave({fmt, data, list}), DATA_ID, 44, 8, ""},
        {"fmt first", riff_wave({fmt, data}), FMT_ID, 20, 16, ""},
        {"padded odd chunk before data", riff_wave({chunk("junk", Bytes(3, 7)), fmt, data}), DATA_ID, 56, 8, ""},
        {"zero-length body", riff_wave({chunk("LIST", {}), fmt, data}), FMT_ID, 28, 16, ""},
        {"two chunks with the wanted id", riff_wave({fmt, chunk("data", Bytes(2, 1)), data}), DATA_ID, 44, 2, ""},
        {"fmt plus another byte is not fmt ", riff_wave({chunk("fmtx", Bytes(4, 0)), fmt}), FMT_ID, 32, 16, ""},
        {"wanted header ends the file", riff_wave({fmt, chunk_declaring("data", 0, {})}), DATA_ID, 44, 0, ""},
        {"wanted chunk declares 4 GiB", riff_wave({fmt, chunk_declaring("data", 0xFFFFFFFF, Bytes(4, 0))}),
         DATA_ID, 44, 0xFFFFFFFF, ""},
        {"not RIFF", with_byte(riff_wave({fmt}), 0, 'X'), FMT_ID, -1, 0,
         "not a wave file!"},
        {"shorter than four bytes", Bytes{'R', 'I', 'F'}, FMT_ID, -1, 0, "not a wave file!"},
        {"empty", Bytes{}, FMT_ID, -1, 0, "not a wave file!"},
        {"not WAVE", with_byte(riff_wave({fmt}), 8, 'X'), FMT_ID, -1, 0,
         "invalid wave file!"},
        {"no WAVE at all", Bytes{'R', 'I', 'F', 'F', 4, 0, 0, 0}, FMT_ID, -1, 0, "invalid wave file!"},
        {"no wanted chunk", riff_wave({fmt}), DATA_ID, -1, 0, "invalid wave file!"},
        {"truncated chunk header", joined(riff_wave({fmt}), {'d', 'a'}), DATA_ID,
         -1, 0, "invalid wave file!"},
        {"a 2 GiB chunk carries the walk past the end",
         riff_wave({chunk_declaring("junk", 0x80000000, Bytes(4, 0)), fmt, data}), DATA_ID, -1, 0,
         "invalid wave file!"},
    };
}

class WalkTest : public ::testing::TestWithParam<WalkCase> {};

TEST_P(WalkTest, FindsTheChunkOrStops) {
    const WalkCase& c = GetParam();
    TempDir dir;
    write_file(dir / "in.wav", c.file);
    std::FILE* file = std::fopen((dir / "in.wav").c_str(), "rb");
    ASSERT_NE(file, nullptr);
    if (c.body_offset < 0) {
        // The message goes to standard output; send it where the death test looks.
        EXPECT_EXIT((dup2(2, 1), locate_chunk(file, c.wanted)), ::testing::ExitedWithCode(255),
                    std::string("^") + c.message + "\n$");
    } else {
        // Twice on one handle: every walk starts again from the file's start.
        for (int round = 0; round < 2; ++round) {
            ChunkLocation found = locate_chunk(file, c.wanted);
            EXPECT_EQ(found.body_offset, c.body_offset);
            EXPECT_EQ(found.declared_size, c.declared_size);
        }
    }
    std::fclose(file);
}

INSTANTIATE_TEST_SUITE_P(Chunks, WalkTest, ::testing::ValuesIn(walk_cases()),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

struct HeaderCase {
    std::uint64_t front_length;
    std::uint32_t rate, bits;
    std::uint32_t riff_size, byte_rate, block_align, data_size;
    std::uint32_t tag = PCM;
};

class HeaderTest : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(HeaderTest, FillsEveryFieldAtFullWidth) {
    const HeaderCase& c = GetParam();
    Bytes expected;
    append_text(expected, "RIFF");
    append_le32(expected, c.riff_size);
    append_text(expected, "WAVE");
    append(expected, chunk("fmt ", extensible_fmt(6, c.rate, c.bits, 0x3F, c.tag)));
    expected[28] = expected[29] = expected[30] = expected[31] = 0;  // byte rate: checked below
    append(expected, chunk_declaring("data", c.data_size, {}));

    const SampleKind kind = c.tag == FLOAT ? SampleKind::floating : SampleKind::integer;
    SurroundHeader header = fill_surround_header(c.front_length, {kind, 2, c.rate, static_cast<std::uint16_t>(c.bits)});
    Bytes actual(header.begin(), header.end());
    EXPECT_EQ(le32(&header[28]), c.byte_rate);
    EXPECT_EQ(le16(&header[32]), c.block_align);
    actual[28] = actual[29] = actual[30] = actual[31] = 0;
    EXPECT_TRUE(same_bytes(expected, actual));
    EXPECT_TRUE(surround_sizes_fit(c.front_length, c.rate, c.bits));
}

INSTANTIATE_TEST_SUITE_P(Sizes, HeaderTest,
                         ::testing::Values(HeaderCase{1000000, 44100, 16, 3000060, 529200, 12, 3000000},
                                           HeaderCase{0, 44100, 16, 60, 529200, 12, 0},
                                           HeaderCase{600, 48000, 8, 1860, 288000, 6, 1800},
                                           HeaderCase{600, 48000, 24, 1860, 864000, 18, 1800},
                                           HeaderCase{1200, 96000, 24, 3660, 1728000, 18, 3600},
                                           HeaderCase{1200, 192000, 16, 3660, 2304000, 12, 3600},
                                           HeaderCase{1200, 48000, 32, 3660, 1152000, 24, 3600},
                                           HeaderCase{1200, 48000, 32, 3660, 1152000, 24, 3600, FLOAT},
                                           HeaderCase{1200, 96000, 64, 3660, 4608000, 48, 3600, FLOAT},
                                           HeaderCase{1431655745, 44100, 16, 4294967295u, 529200, 12,
                                                      4294967235u}));

struct FormatCase {
    const char* name;
    Bytes fmt_chunk;
    SampleKind kind;
    std::uint16_t channels, bits;
    bool width_supported;
};

std::vector<FormatCase> format_cases() {
    const auto ext = [](std::uint32_t bits, std::uint32_t sub_tag) {
        return chunk("fmt ", extensible_fmt(2, 48000, bits, 3, sub_tag));
    };
    Bytes short_ext = extensible_fmt(2, 48000, 16, 3);
    short_ext.resize(24);
    return {
        {"PCM", chunk("fmt ", pcm_fmt(2, 48000, 16)), SampleKind::integer, 2, 16, true},
        {"PCM 32-bit", chunk("fmt ", pcm_fmt(2, 48000, 32)), SampleKind::integer, 2, 32, true},
        {"PCM 12-bit", chunk("fmt ", pcm_fmt(2, 48000, 12)), SampleKind::integer, 2, 12, false},
        {"PCM mono", chunk("fmt ", pcm_fmt(1, 48000, 24)), SampleKind::integer, 1, 24, true},
        {"float", chunk("fmt ", pcm_fmt(2, 48000, 32, FLOAT)), SampleKind::floating, 2, 32, true},
        {"float 24-bit", chunk("fmt ", pcm_fmt(2, 48000, 24, FLOAT)), SampleKind::floating, 2, 24, false},
        {"extensible PCM", ext(24, PCM), SampleKind::integer, 2, 24, true},
        {"extensible float", ext(64, FLOAT), SampleKind::floating, 2, 64, true},
        {"extensible A-law GUID", ext(8, ALAW), SampleKind::unsupported, 2, 8, false},
        {"extensible body of 24 bytes", chunk("fmt ", short_ext), SampleKind::unsupported, 2, 16, false},
        {"A-law", chunk("fmt ", pcm_fmt(2, 8000, 8, ALAW)), SampleKind::unsupported, 2, 8, false},
    };
}

class FormatTest : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FormatTest, ReadsKindChannelsAndWidth) {
    const FormatCase& c = GetParam();
    TempDir dir;
    write_file(dir / "in.wav", riff_wave({chunk("LIST", Bytes(4, 0)), c.fmt_chunk, chunk("data", {})}));
    std::FILE* file = std::fopen((dir / "in.wav").c_str(), "rb");
    ASSERT_NE(file, nullptr);
    const SampleFormat format = read_sample_format(file, locate_chunk(file, FMT_ID));
    std::fclose(file);
    EXPECT_EQ(format.kind, c.kind);
    EXPECT_EQ(format.channels, c.channels);
    EXPECT_EQ(format.sample_rate, read_le32(c.fmt_chunk, 12));
    EXPECT_EQ(format.bits_per_sample, c.bits);
    EXPECT_EQ(width_supported(format), c.width_supported);
}

INSTANTIATE_TEST_SUITE_P(Tags, FormatTest, ::testing::ValuesIn(format_cases()),
                         [](const auto& info) { return test_name(info.param.name); });

TEST(HeaderLimits, RefusesSizesBeyondTheFields) {
    EXPECT_FALSE(surround_sizes_fit(1431655746, 44100, 16));
    EXPECT_FALSE(surround_sizes_fit(1000, 0xFFFFFFFF, 16));
    EXPECT_TRUE(surround_sizes_fit(1000, 238609294, 24));   // 18 x rate just fits
    EXPECT_FALSE(surround_sizes_fit(1000, 238609295, 24));
}

}  // namespace
