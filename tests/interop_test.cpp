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
};

const std::string SOX = "sox -n -r 48000 -c 2 ";
const std::string SOX_TONES = " {out} synth 0.1 sine {hz} sine 1000";
const std::string FFMPEG = "ffmpeg -nostdin -loglevel error -f lavfi -i sine=f={hz}:d=0.1:r=48000 -ac 2 ";

std::vector<InteropCase> interop_cases() {
    return {
        {"sox 16-bit", "sox", SOX + "-b 16" + SOX_TONES, 16, PCM, "Signed Integer PCM"},
        {"sox 24-bit, extensible with fact", "sox", SOX + "-b 24" + SOX_TONES, 24, PCM, "Signed Integer PCM"},
        {"sox 32-bit float with fact", "sox", SOX + "-e floating-point -b 32" + SOX_TONES, 32, FLOAT,
         "Floating Point PCM"},
        {"sox 64-bit float", "sox", SOX + "-e floating-point -b 64" + SOX_TONES, 64, FLOAT, "Floating Point PCM"},
        {"ffmpeg 16-bit, LIST before the audio", "ffmpeg", FFMPEG + "-c:a pcm_s16le {out}", 16, PCM,
         "Signed Integer PCM"},
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
}

INSTANTIATE_TEST_SUITE_P(Pairs, InteropTest, ::testing::ValuesIn(interop_cases()),
                         [](const auto& info) { return test_name(info.param.name); });

}  // namespace
