// What a file's samples are: the "fmt " fields both tools read, decoded into a kind, a channel
// count, a rate and a width, and the checks that decide whether two files can be joined.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "wavefile/chunk.h"

inline constexpr std::uint16_t WAVE_FORMAT_PCM = 1;
inline constexpr std::uint16_t WAVE_FORMAT_IEEE_FLOAT = 3;
inline constexpr std::uint16_t WAVE_FORMAT_EXTENSIBLE = 0xFFFE;

// Offsets into a "fmt " body.
inline constexpr std::size_t FMT_FORMAT_TAG = 0;
inline constexpr std::size_t FMT_CHANNELS = 2;
inline constexpr std::size_t FMT_SAMPLE_RATE = 4;
inline constexpr std::size_t FMT_BITS_PER_SAMPLE = 14;
inline constexpr std::size_t FMT_CHANNEL_MASK = 20;  // its lowest byte; extensible bodies only
inline constexpr std::size_t FMT_SUBFORMAT = 24;
inline constexpr std::size_t FMT_FIELDS_SIZE = 16;
inline constexpr std::size_t FMT_EXTENSIBLE_MIN_SIZE = 24;  // through the end of dwChannelMask
inline constexpr std::size_t FMT_SUBFORMAT_END = 40;  // an extensible body that holds its SubFormat

// The 16 leading bytes of a "fmt " body.
struct FmtFields {
    unsigned char bytes[FMT_FIELDS_SIZE];
    std::uint16_t format_tag() const { return le16(bytes + FMT_FORMAT_TAG); }
    std::uint16_t channels() const { return le16(bytes + FMT_CHANNELS); }
    std::uint32_t sample_rate() const { return le32(bytes + FMT_SAMPLE_RATE); }
    std::uint16_t bits_per_sample() const { return le16(bytes + FMT_BITS_PER_SAMPLE); }
};

// Reads the FmtFields of a located "fmt " chunk; a body too short to hold them is an invalid file.
FmtFields read_fmt_fields(std::FILE* file, const ChunkLocation& fmt);

// The SubFormat GUIDs of an extensible "fmt " body, as stored (little-endian fields first).
using FormatGuid = std::array<unsigned char, 16>;
inline constexpr FormatGuid PCM_SUBFORMAT = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                             0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
inline constexpr FormatGuid IEEE_FLOAT_SUBFORMAT = {0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                                    0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

// What the samples are, whichever way the "fmt " chunk spells it: a plain tag or an extensible
// SubFormat. Anything else (A-law, ADPCM, ...) cannot be copied sample for sample.
enum class SampleKind { unsupported, integer, floating };

// The format of a file's audio, as its "fmt " chunk describes it.
struct SampleFormat {
    SampleKind kind;
    std::uint16_t channels;
    std::uint32_t sample_rate;
    std::uint16_t bits_per_sample;
};

// Reads and decodes a located "fmt " chunk; a body too short for its 16 leading bytes is an invalid file.
SampleFormat read_sample_format(std::FILE* file, const ChunkLocation& fmt);

// Whether the width is one that the kind comes in: integer 8, 16, 24, 32; float 32, 64.
bool width_supported(const SampleFormat& format);

// Whether two files hold samples of the same kind, rate and width, however each spells it.
bool same_samples(const SampleFormat& first, const SampleFormat& second);

// The byte of silence: 8-bit WAVE samples are unsigned, so theirs is 0x80; every wider integer
// and every float is silent at zero bytes.
constexpr unsigned char silence_byte(const SampleFormat& format) {
    return format.kind == SampleKind::integer && format.bits_per_sample == 8 ? 0x80 : 0x00;
}
