#include "wavefile/surround_header.h"

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <span>

namespace {
// Offsets into a "fmt " body that only the fill writes.
constexpr std::size_t FMT_BYTE_RATE = 8;
constexpr std::size_t FMT_BLOCK_ALIGN = 12;
constexpr std::size_t FMT_VALID_BITS = 18;

using Template = std::array<unsigned char, SURROUND_HEADER_SIZE>;
using Rf64Template = std::array<unsigned char, RF64_SURROUND_HEADER_SIZE>;

// Where the two templates keep their variable fields.
constexpr std::size_t RIFF_SIZE_AT = 4;
constexpr std::size_t WAVE_FMT_BODY_AT = 20;
constexpr std::size_t WAVE_DATA_SIZE_AT = 64;
constexpr std::size_t DS64_RIFF_SIZE_AT = 20;
constexpr std::size_t DS64_DATA_SIZE_AT = 28;
constexpr std::size_t DS64_SAMPLE_COUNT_AT = 36;
constexpr std::size_t RF64_FMT_BODY_AT = 56;

// The one "fmt " chunk both templates hold, up to its SubFormat: PCM unless filled with IEEE_FLOAT.
constexpr std::array<unsigned char, 32> SIX_CHANNEL_FMT_HEAD = {
    'f', 'm', 't', ' ', 40, 0, 0, 0,
    0xFE, 0xFF,              // WAVE_FORMAT_EXTENSIBLE
    6, 0,                    // channels
    0, 0, 0, 0,              // sample rate: filled
    0, 0, 0, 0,              // byte rate: filled
    0, 0,                    // block align: filled
    0, 0,                    // bits per sample: filled
    22, 0,                   // cbSize
    0, 0,                    // valid bits per sample: filled
    SIX_SPEAKER_MASK, 0, 0, 0,
};

template <std::size_t Size>
constexpr std::array<unsigned char, Size> concatenated(std::initializer_list<std::span<const unsigned char>> parts) {
    std::array<unsigned char, Size> out{};
    std::size_t at = 0;
    for (auto part : parts)
        for (unsigned char byte : part) out[at++] = byte;
    return out;
}

constexpr std::array<unsigned char, 12> WAVE_HEAD = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};
constexpr std::array<unsigned char, 8> WAVE_DATA_HEAD = {'d', 'a', 't', 'a', 0, 0, 0, 0};  // size: filled
// RF64 keeps 0xFFFFFFFF in the 32-bit sizes; readers take the real ones from "ds64".
constexpr std::array<unsigned char, 48> RF64_HEAD = {
    'R', 'F', '6', '4', 0xFF, 0xFF, 0xFF, 0xFF, 'W', 'A', 'V', 'E',
    'd', 's', '6', '4', 28, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0,  // RIFF size: filled
    0, 0, 0, 0, 0, 0, 0, 0,  // data size: filled
    0, 0, 0, 0, 0, 0, 0, 0,  // sample count: filled
    0, 0, 0, 0,              // no table of other chunk sizes
};
constexpr std::array<unsigned char, 8> RF64_DATA_HEAD = {'d', 'a', 't', 'a', 0xFF, 0xFF, 0xFF, 0xFF};

// Fills the variable fields of a six-channel "fmt " body.
void fill_fmt_body(unsigned char* body, const SampleFormat& format) {
    const std::uint32_t frame_size = surround_frame_size(format.bits_per_sample);
    put_le32(body + FMT_SAMPLE_RATE, format.sample_rate);
    put_le32(body + FMT_BYTE_RATE, frame_size * format.sample_rate);
    put_le16(body + FMT_BLOCK_ALIGN, static_cast<std::uint16_t>(frame_size));
    put_le16(body + FMT_BITS_PER_SAMPLE, format.bits_per_sample);
    put_le16(body + FMT_VALID_BITS, format.bits_per_sample);
    if (format.kind == SampleKind::floating)
        std::copy(IEEE_FLOAT_SUBFORMAT.begin(), IEEE_FLOAT_SUBFORMAT.end(), body + FMT_SUBFORMAT);
}
}  // namespace

const Template SURROUND_HEADER =
    concatenated<SURROUND_HEADER_SIZE>({WAVE_HEAD, SIX_CHANNEL_FMT_HEAD, PCM_SUBFORMAT, WAVE_DATA_HEAD});
const Rf64Template RF64_SURROUND_HEADER =
    concatenated<RF64_SURROUND_HEADER_SIZE>({RF64_HEAD, SIX_CHANNEL_FMT_HEAD, PCM_SUBFORMAT, RF64_DATA_HEAD});

bool surround_byte_rate_fits(const SampleFormat& format) {
    return std::uint64_t{surround_frame_size(format.bits_per_sample)} * format.sample_rate <= UINT32_MAX;
}

SurroundHeader fill_surround_header(std::uint64_t front_length, const SampleFormat& format,
                                    std::uint64_t carried_size) {
    SurroundHeader header{};
    const std::uint64_t data_size = 3 * front_length;
    if (data_size + carried_size + SURROUND_HEADER_SIZE - 8 <= UINT32_MAX) {
        std::copy(SURROUND_HEADER.begin(), SURROUND_HEADER.end(), header.bytes.begin());
        header.size = SURROUND_HEADER_SIZE;
        header.riff_size = data_size + carried_size + header.size - 8;
        put_le32(&header.bytes[RIFF_SIZE_AT], static_cast<std::uint32_t>(header.riff_size));
        put_le32(&header.bytes[WAVE_DATA_SIZE_AT], static_cast<std::uint32_t>(data_size));
        fill_fmt_body(&header.bytes[WAVE_FMT_BODY_AT], format);
    } else {
        header.bytes = RF64_SURROUND_HEADER;
        header.size = RF64_SURROUND_HEADER_SIZE;
        header.riff_size = data_size + carried_size + header.size - 8;
        put_le64(&header.bytes[DS64_RIFF_SIZE_AT], header.riff_size);
        put_le64(&header.bytes[DS64_DATA_SIZE_AT], data_size);
        put_le64(&header.bytes[DS64_SAMPLE_COUNT_AT], data_size / surround_frame_size(format.bits_per_sample));
        fill_fmt_body(&header.bytes[RF64_FMT_BODY_AT], format);
    }
    return header;
}
