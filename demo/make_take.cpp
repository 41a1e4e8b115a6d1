// make_take: writes a recorder's stereo pair, <prefix>F.wav and <prefix>R.wav, with a distinct
// tone on each of the four channels. For the demo and the benchmark; not installed.
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "wave_builder.h"

namespace {

constexpr double TONES_HZ[2][2] = {{440.0, 554.37}, {659.25, 880.0}};  // A major, one note a channel

void append_bytes(Bytes& out, std::uint64_t value, unsigned bits) {
    for (unsigned byte = 0; byte < bits / 8; ++byte) out.push_back(static_cast<unsigned char>(value >> (8 * byte)));
}

// Encodes a sample in [-1, 1] as a WAVE sample of bits width: 8-bit integers are unsigned,
// wider ones signed; floats are IEEE 754.
void append_sample(Bytes& out, double value, unsigned bits, bool floating) {
    if (floating && bits == 32) return append_bytes(out, std::bit_cast<std::uint32_t>(static_cast<float>(value)), 32);
    if (floating) return append_bytes(out, std::bit_cast<std::uint64_t>(value), 64);
    const long long full_scale = (1LL << (bits - 1)) - 1;
    long long level = std::llround(value * static_cast<double>(full_scale));
    if (bits == 8) level += 128;
    append_bytes(out, static_cast<std::uint64_t>(level), bits);
}

bool write_take(const std::string& path, const double tones[2], unsigned long frames, unsigned rate, unsigned bits,
                bool floating) {
    const std::uint64_t data_size = std::uint64_t{frames} * (bits / 4);
    // The header alone, declaring the audio that is streamed after it. Float is not PCM, so its
    // "fmt " body carries cbSize and a "fact" chunk gives the frame count, as recorders write it.
    Bytes fmt = pcm_fmt(2, rate, bits, floating ? FLOAT : PCM);
    Bytes fact;
    if (floating) {
        append_le16(fmt, 0);
        append_le32(fact, static_cast<std::uint32_t>(frames));
    }
    Bytes body;
    append(body, chunk("fmt ", fmt));
    if (floating) append(body, chunk("fact", fact));
    append(body, chunk_declaring("data", static_cast<std::uint32_t>(data_size), {}));
    if (data_size > 0xFFFFFFFFu - 4 - body.size()) return false;
    Bytes head;
    append_text(head, "RIFF");
    append_le32(head, static_cast<std::uint32_t>(4 + body.size() + data_size));
    append_text(head, "WAVE");
    append(head, body);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    bool ok = std::fwrite(head.data(), 1, head.size(), file) == head.size();
    // Audio goes out in blocks of about a megabyte, so hour-long takes need little memory.
    const double pi = std::acos(-1.0);
    Bytes block;
    for (unsigned long frame = 0; ok && frame < frames; ++frame) {
        const double t = static_cast<double>(frame) / rate;
        append_sample(block, 0.25 * std::sin(2 * pi * tones[0] * t), bits, floating);
        append_sample(block, 0.25 * std::sin(2 * pi * tones[1] * t), bits, floating);
        if (block.size() >= 1 << 20 || frame + 1 == frames) {
            ok = std::fwrite(block.data(), 1, block.size(), file) == block.size();
            block.clear();
        }
    }
    return std::fclose(file) == 0 && ok;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc < 3) {
        std::printf("usage: make_take <prefix> <seconds> [rate, 48000] [bits: 8, 16, 24 or 32, 16] [int or float]\n"
                    "       (float: 32 or 64 bits)\n");
        return 2;
    }
    const std::string prefix = argv[1];
    const double seconds = std::atof(argv[2]);
    const unsigned rate = argc > 3 ? static_cast<unsigned>(std::atol(argv[3])) : 48000;
    const unsigned bits = argc > 4 ? static_cast<unsigned>(std::atol(argv[4])) : 16;
    const bool floating = argc > 5 && std::string(argv[5]) == "float";
    const bool width_ok = floating ? bits == 32 || bits == 64 : bits == 8 || bits == 16 || bits == 24 || bits == 32;
    if (seconds < 0 || rate == 0 || !width_ok) {
        std::printf("make_take: bad duration, rate or width\n");
        return 2;
    }
    const auto frames = static_cast<unsigned long>(seconds * rate);
    if (!write_take(prefix + "F.wav", TONES_HZ[0], frames, rate, bits, floating) ||
        !write_take(prefix + "R.wav", TONES_HZ[1], frames, rate, bits, floating)) {
        std::printf("make_take: cannot write %sF.wav and %sR.wav\n", prefix.c_str(), prefix.c_str());
        return 1;
    }
    return 0;
}
