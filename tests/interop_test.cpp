// Real writers and a real reader agree: pairs that sox and ffmpeg write are joined sample for
// sample, sox reads the result as six channels of the inputs' encoding, and sox's own merge of
// an integer pair holds the same audio bytes. Skipped, saying so, where a tool is absent.
#include <gtest/gtest.h>

#include <cstdlib>

#include "program_runner.h"
#include "test_support.h"

namespace {

// The body of a file's "data" chunk, found by walking its chunks; an RF64 size runs to the end.
Bytes audio_of(const Bytes& wave) {
    for (std::size_t at = 12; at + 8 <= wave.size();) {
        const std::uint32_t size = read_le32(wave, at + 4);
        if (std::equal(wave.begin() + at, wave.begin() + at + 4, "data"))
            return Bytes(wave.begin() + at + 8, wave.begin() + at + 8 + std::min<std::size_t>(size, wave.size() - at - 8));
        at += 8 + size + (size & 1);
    }
    return {};
}

struct InteropCase {
    const char* name;
    const char* writer;  // sox or ffmpeg
    std::string options;  // how the writer makes a 0.1 s stereo file from a tone, with {hz} and {out}
    std::uint32_t bits;
    std::uint32_t tag;  // PCM or FLOAT; 0: the pair is refused
    std::string encoding;  // as soxi -e names it
    bool encoded = false;  // also joined into flac's and ffmpeg's AC-3 encoder through a pipe
};

const std::string SOX = "sox -n -r 48000 -c 2 ";
const std::string SOX_TONES = " {out} synth 0.1 sine {hz} sine 1000";
const std::string FFMPEG = "ffmpeg -nostdin -loglevel error -f lavfi -i sine=f={hz}:d=0.1:r=48000 -ac 2 ";

std::vector<InteropCase> interop_cases() {
    return {
        {"sox 16-bit", "sox", SOX + "-b 16" + SOX_TONES, 16, PCM, "Signed Integer PCM"},
        {"sox 24-bit, extensible with fact", "sox", SOX + "-b 24" + SOX_TONES, 24, PCM, "Signed Integer PCM", true},
        {"sox 32-bit float with fact", "sox", SOX + "-e floating-point -b 32" + SOX_TONES, 32, FLOAT,
         "Floating Point PCM"},
        {"sox 64-bit float", "sox", SOX + "-e floating-point -b 64" + SOX_TONES, 64, FLOAT, "Floating Point PCM"},
        {"ffmpeg 16-bit, LIST before the audio", "ffmpeg", FFMPEG + "-c:a pcm_s16le {out}", 16, PCM,
         "Signed Integer PCM", true},
        {"ffmpeg 32-bit float, extensible", "ffmpeg", FFMPEG + "-c:a pcm_f32le {out}", 32, FLOAT,
         "Floating Point PCM"},
        {"ffmpeg RF64 24-bit", "ffmpeg", FFMPEG + "-c:a pcm_s24le -rf64 always {out}", 24, PCM,
         "Signed Integer PCM"},
        {"sox mono pair is refused", "sox", "sox -n -r 48000 -c 1 -b 16 {out} synth 0.1 sine {hz}", 16, 0, ""},
    };
}

std::string filled(std::string text, const std::string& out, int hz) {
    for (auto [key, value] : {std::pair<std::string, std::string>{"{out}", out}, {"{hz}", std::to_string(hz)}})
        for (std::size_t at; (at = text.find(key)) != std::string::npos;) text.replace(at, key.size(), value);
    return text;
}

void PrintTo(const InteropCase& c, std::ostream* out) { *out << c.name; }

class InteropTest : public ::testing::TestWithParam<InteropCase> {};

TEST_P(InteropTest, JoinsExactlyAndSoxReadsIt) {
    const InteropCase& c = GetParam();
    for (const std::string tool : {"sox", "soxi", c.writer})
        if (!installed(tool)) GTEST_SKIP() << tool << " is not installed: this interoperability row did not run";
    TempDir dir;
    const std::string in = "cd '" + dir.path().string() + "' && ";
    ASSERT_EQ(std::system((in + filled(c.options, "takeF.wav", 440)).c_str()), 0);
    ASSERT_EQ(std::system((in + filled(c.options, "takeR.wav", 660)).c_str()), 0);

    RunResult run = run_program(SIXJOIN_PATH, {"takeF.wav"}, dir.path());

    if (c.tag == 0) {
        EXPECT_EQ(run.status, 255);
        EXPECT_TRUE(run.out.ends_with("\nfront input is not a stereo wave file!\n")) << run.out;
        return;
    }
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(output_of(in + "soxi -c takeF-6ch.wav 2>/dev/null"), "6\n");
    EXPECT_EQ(output_of(in + "soxi -r takeF-6ch.wav 2>/dev/null"), "48000\n");
    EXPECT_EQ(output_of(in + "soxi -b takeF-6ch.wav 2>/dev/null"), std::to_string(c.bits) + "\n");
    EXPECT_EQ(output_of(in + "soxi -e takeF-6ch.wav 2>/dev/null"), c.encoding + "\n");
    const Bytes ours = audio_of(read_file(dir / "takeF-6ch.wav"));
    EXPECT_EQ(ours.size(), 4800u * 6 * c.bits / 8);
    const Bytes front = audio_of(read_file(dir / "takeF.wav")), rear = audio_of(read_file(dir / "takeR.wav"));
    EXPECT_TRUE(same_bytes(audio_of(six_channel_wave(48000, c.bits, front, rear, c.tag)), ours));
    // sox computes in 32-bit integers, so only its merge of integer audio is exact.
    if (c.tag != PCM) return;
    ASSERT_EQ(std::system((in + "sox -M takeF.wav takeR.wav -c 6 sox.wav remix 1 2 0 0 3 4").c_str()), 0);
    EXPECT_TRUE(same_bytes(audio_of(read_file(dir / "sox.wav")), ours));

    // Straight into an encoder: flac gives back the same audio, and AC-3 holds 5.1.
    if (!c.encoded) return;
    for (const std::string tool : {"flac", "ffprobe"})
        if (!installed(tool)) GTEST_SKIP() << tool << " is not installed: the encoder rows did not run";
    const std::string joined = in + shell_words(SIXJOIN_PATH) + " -q -o - takeF.wav | ";
    ASSERT_EQ(std::system((joined + "flac -s -o take.flac - && flac -s -d -o back.wav take.flac").c_str()), 0);
    EXPECT_TRUE(same_bytes(ours, audio_of(read_file(dir / "back.wav"))));
    ASSERT_EQ(std::system((joined + "ffmpeg -nostdin -loglevel error -i - -c:a ac3 -b:a 448k take.ac3").c_str()), 0);
    const std::string layout = "ffprobe -v error -show_entries stream=channels,channel_layout -of csv=p=0 ";
    EXPECT_EQ(output_of(in + layout + "take.flac"), "6,5.1\n");
    EXPECT_TRUE(output_of(in + layout + "take.ac3").starts_with("6,5.1")) << "AC-3 is not 5.1";
}

INSTANTIATE_TEST_SUITE_P(Pairs, InteropTest, ::testing::ValuesIn(interop_cases()),
                         [](const auto& info) { return test_name(info.param.name); });

}  // namespace

namespace {

// A chunk added at the end of a file, as recorders write iXML and markers after the audio.
void append_chunk(const std::filesystem::path& path, const Bytes& chunk) {
    Bytes wave = joined(read_file(path), chunk);
    const std::uint32_t riff_size = static_cast<std::uint32_t>(wave.size() - 8);
    for (int i = 0; i < 4; ++i) wave[4 + i] = static_cast<unsigned char>(riff_size >> (8 * i));
    write_file(path, wave);
}

// ffmpeg writes the Broadcast Wave fields a recorder writes; the iXML, markers and labels are
// added after the audio. exiftool, ffprobe and sndfile-info find them all in the joined file.
TEST(Metadata, ReadersFindTheTakeInTheJoinedFile) {
    for (const std::string tool : {"ffmpeg", "ffprobe", "exiftool", "sndfile-info"})
        if (!installed(tool)) GTEST_SKIP() << tool << " is not installed: the metadata row did not run";
    TempDir dir;
    const std::string in = "cd '" + dir.path().string() + "' && ";
    const std::string bext = "-c:a pcm_s16le -write_bext 1 -metadata time_reference=172800000 "
                             "-metadata description='Scene 12 take 3' -metadata originator='Zoom H2n' "
                             "-metadata origination_date=2026-12-09 -metadata origination_time=01:00:00 "
                             "-metadata coding_history='A=PCM,F=48000,W=16,M=stereo,T=H2n' {out}";
    ASSERT_EQ(std::system((in + filled(FFMPEG + bext, "takeF.wav", 440)).c_str()), 0);
    ASSERT_EQ(std::system((in + filled(FFMPEG + bext, "takeR.wav", 660)).c_str()), 0);
    for (const Bytes& chunk : {chunk("iXML", ixml_body(track_list({"Front L", "Front R"}))), cue_chunk(), labels_chunk()})
        append_chunk(dir / "takeF.wav", chunk);
    append_chunk(dir / "takeR.wav", chunk("iXML", ixml_body(track_list({"Rear L", "Rear R"}))));

    RunResult run = run_program(SIXJOIN_PATH, {"takeF.wav"}, dir.path());

    ASSERT_EQ(run.status, 0) << run.out;
    const auto exiftool = [&](const std::string& tag, const std::string& file) {
        return output_of(in + "exiftool -a -s3 -" + tag + " " + file);
    };
    for (const std::string tag : {"TimeReference", "Description", "Originator", "DateTimeOriginal"})
        EXPECT_EQ(exiftool(tag, "takeF-6ch.wav"), exiftool(tag, "takeF.wav")) << tag;
    EXPECT_EQ(exiftool("TimeReference", "takeF-6ch.wav"), "172800000\n");
    EXPECT_EQ(output_of(in + "exiftool -b -CodingHistory takeF-6ch.wav"),
              "A=PCM,F=48000,W=16,M=stereo,T=H2n\r\nA=PCM,F=48000,W=16,T=sixjoin 1.4\r\n");
    EXPECT_EQ(exiftool("BwfxmlTrackListTrackName", "takeF-6ch.wav"), "Front L\nFront R\nC\nLFE\nRear L\nRear R\n");
    const std::string ffprobe = "ffprobe -v error -show_entries format_tags=time_reference -of default=nw=1:nk=1 ";
    EXPECT_EQ(output_of(in + ffprobe + "takeF-6ch.wav"), "172800000\n");
    const std::string info = output_of(in + "sndfile-info takeF-6ch.wav");
    for (const std::string line : {"Count : 2", "Pos :    30", "Pos :    60", "labl : 1 : owl", "labl : 2 : wind gust"})
        EXPECT_NE(info.find(line), std::string::npos) << line << " not in:\n" << info;
}

}  // namespace
