// A real reader agrees: sox reads sixjoin's output as six channels at the input's rate and
// width, and its own merge of the same pair holds the same audio bytes.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "test_support.h"

namespace {

bool sox_installed() { return std::system("command -v sox >/dev/null && command -v soxi >/dev/null") == 0; }

std::string output_of(const std::string& command) {
    std::string text;
    if (std::FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe)) text += buffer;
        pclose(pipe);
    }
    return text;
}

// The body of a file's "data" chunk, found by walking its chunks.
Bytes audio_of(const Bytes& wave) {
    for (std::size_t at = 12; at + 8 <= wave.size();) {
        const std::uint32_t size = read_le32(wave, at + 4);
        if (std::equal(wave.begin() + at, wave.begin() + at + 4, "data"))
            return Bytes(wave.begin() + at + 8, wave.begin() + at + 8 + std::min<std::size_t>(size, wave.size() - at - 8));
        at += 8 + size + (size & 1);
    }
    return {};
}

class SoxTest : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(SoxTest, ReadsSixChannelsAndTheSameAudio) {
    if (!sox_installed()) GTEST_SKIP() << "sox is not installed: the interoperability test did not run";
    const std::uint32_t bits = GetParam();
    TempDir dir;
    const Bytes front = pattern(3000 * bits / 4, 1), rear = pattern(3000 * bits / 4, 2);
    write_file(dir / "takeF.wav", stereo_wave(48000, bits, front));
    write_file(dir / "takeR.wav", stereo_wave(48000, bits, rear));

    ASSERT_EQ(run_program(SIXJOIN_PATH, {"takeF.wav"}, dir.path()).status, 0);

    const std::string in = "cd '" + dir.path().string() + "' && ";
    EXPECT_EQ(output_of(in + "soxi -c takeF-6ch.wav"), "6\n");
    EXPECT_EQ(output_of(in + "soxi -r takeF-6ch.wav"), "48000\n");
    EXPECT_EQ(output_of(in + "soxi -b takeF-6ch.wav"), std::to_string(bits) + "\n");
    ASSERT_EQ(std::system((in + "sox -M takeF.wav takeR.wav -c 6 sox.wav remix 1 2 0 0 3 4").c_str()), 0);
    const Bytes ours = audio_of(read_file(dir / "takeF-6ch.wav"));
    EXPECT_EQ(ours.size(), 3000u * 6 * bits / 8);
    EXPECT_TRUE(same_bytes(audio_of(read_file(dir / "sox.wav")), ours));
}

INSTANTIATE_TEST_SUITE_P(Widths, SoxTest, ::testing::Values(16u, 24u));

}  // namespace
