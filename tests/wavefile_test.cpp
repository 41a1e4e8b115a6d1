// The chunk walker and the six-channel header.
#include <gtest/gtest.h>
#include <cstdio>

#include "test_support.h"
#include "wavefile/chunk.h"
#include "wavefile/platform/files.h"
#include "wavefile/platform/terminal.h"
#include "wavefile/platform/xml_reader.h"
#include "wavefile/sample_format.h"
#include "wavefile/surround_header.h"

namespace {

struct WalkCase {
    const char* name;
    Bytes file;
    ChunkId wanted;
    std::int64_t body_offset;  // -1: the walk stops the process
    std::uint32_t declared_size;
    const char* message;  // printed when it stops
    std::int64_t audio_length = -1;  // of locate_audio, when set
};

std::vector<WalkCase> walk_cases() {
    const Bytes fmt = chunk("fmt ", pcm_fmt(2, 44100, 16));
    const Bytes data = chunk("data", Bytes(8, 1));
    const Bytes list = chunk("LIST", Bytes(6, 2));
    const Bytes big_data = chunk_declaring("data", 0xFFFFFFFF, Bytes(8, 1));
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
        {"RF64: the audio's size is in ds64", big_wave("RF64", {ds64_chunk(70, 8, 2), fmt, big_data, list}),
         DATA_ID, 80, 0xFFFFFFFF, "", 8},
        {"BW64 likewise", big_wave("BW64", {ds64_chunk(70, 8, 2), fmt, big_data, list}), DATA_ID, 80, 0xFFFFFFFF,
         "", 8},
        {"RF64 without ds64: the audio runs to the end", big_wave("RF64", {fmt, big_data, list}), DATA_ID, 44,
         0xFFFFFFFF, "", 22},
        {"ds64 not first: the audio runs to the end", big_wave("RF64", {fmt, ds64_chunk(70, 8, 2), big_data, list}),
         DATA_ID, 80, 0xFFFFFFFF, "", 22},
        {"a ds64 size past the end runs to the end", big_wave("RF64", {ds64_chunk(70, 23, 2), fmt, big_data, list}),
         DATA_ID, 80, 0xFFFFFFFF, "", 22},
        {"RIFF with a ds64 chunk is no RF64", riff_wave({ds64_chunk(70, 8, 2), fmt, big_data, list}), DATA_ID, 80,
         0xFFFFFFFF, "", 22},
        {"RF65 is not a wave file", with_byte(big_wave("RF64", {fmt}), 3, '5'), FMT_ID, -1, 0, "not a wave file!"},
        {"a 2 GiB chunk carries the walk past the end",
         riff_wave({chunk_declaring("junk", 0x80000000, Bytes(4, 0)), fmt, data}), DATA_ID, -1, 0,
         "invalid wave file!"},
    };
}

void PrintTo(const WalkCase& c, std::ostream* out) { *out << c.name; }

class WalkTest : public ::testing::TestWithParam<WalkCase> {};

TEST_P(WalkTest, FindsTheChunkOrStops) {
    const WalkCase& c = GetParam();
    TempDir dir;
    write_file(dir / "in.wav", c.file);
    std::FILE* file = std::fopen((dir / "in.wav").string().c_str(), "rb");
    ASSERT_NE(file, nullptr);
    if (c.body_offset < 0) {
        EXPECT_EQ(stop_message([&] { locate_chunk(file, c.wanted); }), c.message);
    } else {
        // Twice on one handle: every walk starts again from the file's start.
        for (int round = 0; round < 2; ++round) {
            ChunkLocation found = locate_chunk(file, c.wanted);
            EXPECT_EQ(found.body_offset, c.body_offset);
            EXPECT_EQ(found.declared_size, c.declared_size);
        }
        if (c.audio_length >= 0) {
            EXPECT_EQ(locate_audio(file).length, static_cast<std::uint64_t>(c.audio_length));
        }
    }
    std::fclose(file);
}

INSTANTIATE_TEST_SUITE_P(Chunks, WalkTest, ::testing::ValuesIn(walk_cases()),
                         [](const auto& info) { return test_name(info.param.name); });

struct HeaderCase {
    std::uint64_t front_length;
    std::uint32_t rate, bits;
    std::uint64_t riff_size;
    std::uint32_t byte_rate, block_align;
    std::uint64_t data_size;
    std::uint32_t tag = PCM;
    std::uint64_t carried = 0;  // bytes of chunks carried between "fmt " and "data"
};

class HeaderTest : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(HeaderTest, FillsEveryFieldAtFullWidth) {
    const HeaderCase& c = GetParam();
    // Past 4 GiB: RF64, its sizes in "ds64" and 0xFFFFFFFF where WAVE keeps them.
    const bool rf64 = c.riff_size > UINT32_MAX;
    Bytes expected;
    append_text(expected, rf64 ? "RF64" : "RIFF");
    append_le32(expected, rf64 ? 0xFFFFFFFF : static_cast<std::uint32_t>(c.riff_size));
    append_text(expected, "WAVE");
    if (rf64) append(expected, ds64_chunk(c.riff_size, c.data_size, c.data_size / c.block_align));
    const std::size_t byte_rate_at = expected.size() + 16;
    append(expected, chunk("fmt ", extensible_fmt(6, c.rate, c.bits, 0x3F, c.tag)));
    put_le32(&expected[byte_rate_at], c.byte_rate);
    put_le16(&expected[byte_rate_at + 4], static_cast<std::uint16_t>(c.block_align));
    append(expected, chunk_declaring("data", rf64 ? 0xFFFFFFFF : static_cast<std::uint32_t>(c.data_size), {}));

    const SampleKind kind = c.tag == FLOAT ? SampleKind::floating : SampleKind::integer;
    const SampleFormat format{kind, 2, c.rate, static_cast<std::uint16_t>(c.bits)};
    const SurroundHeader header = fill_surround_header(c.front_length, format, c.carried);
    EXPECT_TRUE(same_bytes(expected, Bytes(header.bytes.begin(), header.bytes.begin() + header.size)));
    EXPECT_EQ(header.riff_size, c.riff_size);
    EXPECT_TRUE(surround_byte_rate_fits(format));
}

INSTANTIATE_TEST_SUITE_P(Sizes, HeaderTest,
                         ::testing::Values(HeaderCase{1000000, 44100, 16, 3000060, 529200, 12, 3000000},
                                           HeaderCase{0, 44100, 16, 60, 529200, 12, 0},
                                           HeaderCase{600, 48000, 8, 1860, 288000, 6, 1800},
                                           HeaderCase{600, 48000, 24, 1860, 864000, 18, 1800},
                                           HeaderCase{1200, 96000, 24, 3660, 1728000, 18, 3600},
                                           HeaderCase{1200, 192000, 16, 3660, 2304000, 12, 3600},
                                           HeaderCase{1200, 96000, 64, 3660, 4608000, 48, 3600, FLOAT},
                                           HeaderCase{1431655745, 44100, 16, 4294967295u, 529200, 12,
                                                      4294967235u},
                                           HeaderCase{1431655748, 44100, 16, 4294967340u, 529200, 12,
                                                      4294967244u},
                                           HeaderCase{1431655744, 44100, 16, 4294967295u, 529200, 12,
                                                      4294967232u, PCM, 3},
                                           HeaderCase{1431655744, 44100, 16, 4294967333u, 529200, 12,
                                                      4294967232u, PCM, 5},
                                           HeaderCase{8000000000, 192000, 64, 24000000096u, 9216000, 48,
                                                      24000000000u, FLOAT}));

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
        {"PCM 32-bit", chunk("fmt ", pcm_fmt(2, 48000, 32)), SampleKind::integer, 2, 32, true},
        {"float 24-bit", chunk("fmt ", pcm_fmt(2, 48000, 24, FLOAT)), SampleKind::floating, 2, 24, false},
        {"extensible PCM", ext(24, PCM), SampleKind::integer, 2, 24, true},
        {"extensible float", ext(64, FLOAT), SampleKind::floating, 2, 64, true},
        {"extensible A-law GUID", ext(8, ALAW), SampleKind::unsupported, 2, 8, false},
        {"extensible body of 24 bytes", chunk("fmt ", short_ext), SampleKind::unsupported, 2, 16, false},
    };
}

class FormatTest : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FormatTest, ReadsKindChannelsAndWidth) {
    const FormatCase& c = GetParam();
    TempDir dir;
    write_file(dir / "in.wav", riff_wave({chunk("LIST", Bytes(4, 0)), c.fmt_chunk, chunk("data", {})}));
    std::FILE* file = std::fopen((dir / "in.wav").string().c_str(), "rb");
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

TEST(HeaderLimits, RefusesOnlyAByteRateBeyondItsField) {
    EXPECT_FALSE(surround_byte_rate_fits({SampleKind::integer, 2, 0xFFFFFFFF, 16}));
    EXPECT_TRUE(surround_byte_rate_fits({SampleKind::integer, 2, 238609294, 24}));  // 18 x rate just fits
    EXPECT_FALSE(surround_byte_rate_fits({SampleKind::integer, 2, 238609295, 24}));
}

// The decision behind the wait for Enter on Windows, which the tests cannot give a real console.
TEST(OwnConsole, WaitsOnlyInAWindowOfItsOwnReadingFromIt) {
    EXPECT_TRUE(waits_for_enter(1, true));    // a double-click or a drop: the window is the program's
    EXPECT_FALSE(waits_for_enter(2, true));   // started from cmd, PowerShell, a script or a program
    EXPECT_FALSE(waits_for_enter(1, false));  // input from a pipe, a file or nothing
    EXPECT_FALSE(waits_for_enter(0, false));  // no console at all
}

}  // namespace

// Earlier manifests are anyone's: elements by their local names with their text and attributes,
// and nothing at all for what is not a whole, DTD-free document (the system's reader, XmlLite
// under Wine).
TEST(XmlReader, ReadsElementsAndRefusesWhatIsNoWholeDocument) {
    const std::optional<std::vector<XmlElement>> read =
        read_xml("<?xml version=\"1.0\"?><m:a xmlns:m=\"urn:x\" n=\"1\"><m:b>x &amp; y</m:b><c/>z<d k=\"&lt;\">w</d></m:a>");
    ASSERT_TRUE(read);
    ASSERT_EQ(read->size(), 4u);
    const XmlElement &a = (*read)[0], &b = (*read)[1], &c = (*read)[2], &d = (*read)[3];
    EXPECT_EQ(a.name + a.text + a.attribute("n").value_or("-"), "az1");
    EXPECT_EQ(b.name + b.text + std::to_string(b.depth), "bx & y1");
    EXPECT_EQ(c.name + c.text + std::to_string(c.depth), "c1");
    EXPECT_EQ(d.name + d.text + d.attribute("k").value_or("-"), "dw<");
    for (const char* document : {"<a><b>cut short", "<a></b>", "", "not xml",
                                 "<!DOCTYPE a [<!ENTITY e \"x\">]><a>&e;</a>",
                                 "<!DOCTYPE a SYSTEM \"file:///etc/passwd\"><a/>", "<a/><b/>", "<a/>text"})
        EXPECT_FALSE(read_xml(document)) << document;
}
