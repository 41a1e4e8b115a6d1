// A deterministic storm of malformed files, thrown at the real programs. Whatever a file holds,
// they must end with a documented status, write nothing to standard error, never change an
// input (sixjoin) or more than the one mask byte (spkfix), and never leave a header that
// disagrees with its file.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "program_runner.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

struct Mutant {
    std::string what;
    Bytes bytes;
};

Bytes with_le(Bytes b, std::size_t at, std::uint32_t value, int width) {
    for (int i = 0; i < width; ++i) b.at(at + i) = static_cast<unsigned char>(value >> (8 * i));
    return b;
}

// Offsets of the size field of RIFF and of every chunk, and of the "fmt " body, in a well-formed seed.
struct Layout {
    std::vector<std::size_t> size_fields{4};
    std::size_t fmt_body = 0;
    std::size_t header_end = 12;  // through the "data" chunk's header
};

Layout layout_of(const Bytes& seed) {
    Layout layout;
    for (std::size_t at = 12; at + 8 <= seed.size();) {
        const std::uint32_t size = read_le32(seed, at + 4);
        layout.size_fields.push_back(at + 4);
        if (std::equal(seed.begin() + at, seed.begin() + at + 4, "fmt ")) layout.fmt_body = at + 8;
        if (std::equal(seed.begin() + at, seed.begin() + at + 4, "data")) {
            layout.header_end = at + 8;
            break;
        }
        at += 8 + size + (size & 1);
    }
    return layout;
}

std::vector<Mutant> mutants_of(const std::string& name, const Bytes& seed, std::mt19937& random) {
    const Layout layout = layout_of(seed);
    std::vector<Mutant> out;
    auto add = [&](std::string what, Bytes bytes) { out.push_back({name + ": " + what, std::move(bytes)}); };
    auto position = [&](std::size_t end) { return std::uniform_int_distribution<std::size_t>(0, end - 1)(random); };
    auto byte = [&] { return static_cast<unsigned char>(std::uniform_int_distribution<int>(0, 255)(random)); };

    for (std::size_t length = 0; length <= layout.header_end + 24 && length < seed.size(); ++length)
        add("cut to " + std::to_string(length), Bytes(seed.begin(), seed.begin() + static_cast<long>(length)));
    for (std::size_t at : layout.size_fields)
        for (std::uint32_t value : {0u, 1u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu})
            add("size at " + std::to_string(at) + " = " + std::to_string(value), with_le(seed, at, value, 4));
    const std::size_t fmt = layout.fmt_body;
    for (std::uint32_t tag : {0u, 1u, 3u, 0xFFFEu}) add("tag " + std::to_string(tag), with_le(seed, fmt, tag, 2));
    for (std::uint32_t channels : {0u, 1u, 6u, 0xFFFFu})
        add("channels " + std::to_string(channels), with_le(seed, fmt + 2, channels, 2));
    for (std::uint32_t rate : {0u, 1u, 65535u, 65536u, 0x7FFFFFFFu, 0xFFFFFFFFu})
        add("rate " + std::to_string(rate), with_le(seed, fmt + 4, rate, 4));
    for (std::uint32_t bits : {0u, 1u, 4u, 7u, 12u, 17u, 20u, 32u, 64u, 0xFFFFu})
        add("width " + std::to_string(bits), with_le(seed, fmt + 14, bits, 2));
    for (int i = 0; i < 16; ++i) {
        const std::size_t at = position(layout.header_end + 24);
        add("byte " + std::to_string(at) + " changed", with_byte(seed, at, byte()));
    }
    for (int i = 0; i < 6; ++i) {
        Bytes junk(1 + position(9));
        for (auto& b : junk) b = byte();
        const std::size_t at = position(layout.header_end);
        Bytes inserted = seed;
        inserted.insert(inserted.begin() + static_cast<long>(at), junk.begin(), junk.end());
        add(std::to_string(junk.size()) + " bytes inserted at " + std::to_string(at), inserted);
    }
    for (std::size_t size : {1, 7, 100}) {
        Bytes junk(size);
        for (auto& b : junk) b = byte();
        add(std::to_string(size) + " bytes appended", joined(seed, junk));
    }
    return out;
}

// Whether a joined file's RIFF size and "data" size agree with its length, whatever it carries.
bool sizes_agree(const Bytes& out) {
    const std::size_t audio_at = layout_of(out).header_end;
    return out.size() >= 68 && audio_at > 12 && read_le32(out, 4) == out.size() - 8 &&
           read_le32(out, audio_at - 4) == out.size() - audio_at;
}

const Bytes STEREO16 = stereo_wave(44100, 16, pattern(160, 1));
const Bytes STEREO24 = stereo_wave(96000, 24, pattern(240, 2));
const Bytes STEREO8 = stereo_wave(8000, 8, pattern(80, 3));
const Bytes PADDED = riff_wave({chunk("junk", Bytes(3, 0xEE)), chunk("fmt ", pcm_fmt(2, 44100, 16)),
                                chunk("data", pattern(160, 4))});
const Bytes FLOAT32 = riff_wave({chunk("fmt ", pcm_fmt(2, 48000, 32, FLOAT)), chunk("fact", {40, 0, 0, 0}),
                                 chunk("data", pattern(320, 7))});
const Bytes EXT_FLOAT64 = riff_wave({chunk("fmt ", extensible_fmt(2, 96000, 64, 3, FLOAT)), chunk("data", pattern(320, 8))});
const Bytes RF64 = big_wave("RF64", {ds64_chunk(232, 160, 40), chunk("fmt ", pcm_fmt(2, 44100, 16)),
                                     chunk_declaring("data", 0xFFFFFFFF, pattern(160, 9))});
const Bytes METADATA = riff_wave({chunk("bext", bext_body(172800000, "A=PCM,F=44100,W=16\r\n")),
                                  chunk("fmt ", pcm_fmt(2, 44100, 16)), chunk("iXML", ixml_body(track_list({"L", "R"}))),
                                  chunk("data", pattern(160, 10)), chunk("cue ", pattern(28, 11)),
                                  chunk("LIST", joined(text_bytes("adtl"), chunk("labl", pattern(9, 12))))});
const Bytes SIX = riff_wave({chunk("fmt ", extensible_fmt(6, 48000, 16, 0x33)), chunk("data", pattern(120, 5))});
const Bytes SIX_PADDED = riff_wave({chunk("junk", Bytes(5, 0xEE)), chunk("fmt ", extensible_fmt(6, 48000, 24, 0x60F)),
                                    chunk("data", pattern(180, 6))});

TEST(MutationStorm, SixjoinKeepsItsInvariants) {
    std::mt19937 random(20261208);
    TempDir dir;
    std::vector<std::string> failures;
    int runs = 0;
    for (const auto& [name, seed] : {std::pair{"16-bit", STEREO16}, std::pair{"24-bit", STEREO24},
                                     std::pair{"8-bit", STEREO8}, std::pair{"padded", PADDED},
                                     std::pair{"32-bit float", FLOAT32}, std::pair{"extensible 64-bit float", EXT_FLOAT64},
                                     std::pair{"RF64", RF64}, std::pair{"metadata", METADATA}}) {
        for (const Mutant& mutant : mutants_of(name, seed, random)) {
            // Alternate which input is malformed; the other is the intact seed.
            const bool front_mutated = runs++ % 2 == 0;
            const Bytes& front = front_mutated ? mutant.bytes : seed;
            const Bytes& rear = front_mutated ? seed : mutant.bytes;
            write_file(dir / "takeF.wav", front);
            write_file(dir / "takeR.wav", rear);
            fs::remove(dir / "takeF-6ch.wav");
            const std::string what = (front_mutated ? "front " : "rear ") + mutant.what;

            RunResult run = run_program(SIXJOIN_PATH, {"takeF.wav"}, dir.path());

            if (run.status != 0 && run.status != 25 && run.status != 255)
                failures.push_back(what + ": status " + std::to_string(run.status) + " after: " + run.out);
            if (!run.err.empty()) failures.push_back(what + ": standard error: " + run.err);
            if (read_file(dir / "takeF.wav") != front || read_file(dir / "takeR.wav") != rear)
                failures.push_back(what + ": an input changed");
            if (run.status != 0) continue;
            const Bytes out = read_file(dir / "takeF-6ch.wav");
            if (!sizes_agree(out)) failures.push_back(what + ": header disagrees with a file of " + std::to_string(out.size()));
            if (!run.out.ends_with("\ndone.\n")) failures.push_back(what + ": status 0 without done.");
        }
    }
    EXPECT_GT(runs, 300);
    EXPECT_TRUE(failures.empty()) << failures.size() << " failures, the first: " << failures.front();
}

TEST(MutationStorm, SpkfixChangesOnlyTheMaskByte) {
    std::mt19937 random(20261209);
    TempDir dir;
    std::vector<std::string> failures;
    int runs = 0;
    for (const auto& [name, seed] : {std::pair{"six-channel", SIX}, std::pair{"padded six-channel", SIX_PADDED},
                                     std::pair{"stereo", STEREO16}}) {
        for (const Mutant& mutant : mutants_of(name, seed, random)) {
            ++runs;
            write_file(dir / "s.wav", mutant.bytes);

            RunResult run = run_program(SPKFIX_PATH, {"s.wav"}, dir.path());

            const Bytes after = read_file(dir / "s.wav");
            if (run.status != 0 && run.status != 255)
                failures.push_back(mutant.what + ": status " + std::to_string(run.status) + " after: " + run.out);
            if (!run.err.empty()) failures.push_back(mutant.what + ": standard error: " + run.err);
            if (after.size() != mutant.bytes.size()) {
                failures.push_back(mutant.what + ": length changed");
                continue;
            }
            int changed = 0;
            for (std::size_t at = 0; at < after.size(); ++at) {
                if (after[at] == mutant.bytes[at]) continue;
                ++changed;
                if (after[at] != 0x3F || run.status != 0)
                    failures.push_back(mutant.what + ": byte " + std::to_string(at) + " changed");
            }
            if (changed > 1) failures.push_back(mutant.what + ": " + std::to_string(changed) + " bytes changed");
        }
    }
    EXPECT_GT(runs, 300);
    EXPECT_TRUE(failures.empty()) << failures.size() << " failures, the first: " << failures.front();
}

}  // namespace
