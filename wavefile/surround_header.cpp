#include "wavefile/surround_header.h"

#include <algorithm>
#include <cstdint>

namespace {
constexpr std::size_t RIFF_SIZE_AT = 4;
constexpr std::size_t SAMPLE_RATE_AT = 24;
constexpr std::size_t BYTE_RATE_AT = 28;
constexpr std::size_t BLOCK_ALIGN_AT = 32;
constexpr std::size_t BITS_PER_SAMPLE_AT = 34;
constexpr std::size_t VALID_BITS_AT = 38;
constexpr std::size_t SUBFORMAT_AT = 44;
constexpr std::size_t DATA_SIZE_AT = 64;
constexpr std::uint64_t HEADER_AFTER_RIFF_SIZE = SURROUND_HEADER_SIZE - 8;
}  // namespace

const SurroundHeader SURROUND_HEADER = {
    'R', 'I', 'F', 'F', 0, 0, 0, 0,  // RIFF size: filled
    'W', 'A', 'V', 'E',
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
    // SubFormat: KSDATAFORMAT_SUBTYPE_PCM unless filled with IEEE_FLOAT
    0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71,
    'd', 'a', 't', 'a', 0, 0, 0, 0,  // data size: filled
};

FmtFields read_fmt_fields(std::FILE* file, const ChunkLocation& fmt) {
    FmtFields fields{};
    bool whole = fmt.declared_size >= FMT_FIELDS_SIZE && fseeko(file, fmt.body_offset, SEEK_SET) == 0 &&
                 std::fread(fields.bytes, 1, sizeof fields.bytes, file) == sizeof fields.bytes;
    fail_if(!whole, "invalid wave file!");
    return fields;
}

SampleFormat read_sample_format(std::FILE* file, const ChunkLocation& fmt) {
    const FmtFields fields = read_fmt_fields(file, fmt);
    SampleFormat format{SampleKind::unsupported, fields.channels(), fields.sample_rate(), fields.bits_per_sample()};
    switch (fields.format_tag()) {
        case WAVE_FORMAT_PCM: format.kind = SampleKind::integer; break;
        case WAVE_FORMAT_IEEE_FLOAT: format.kind = SampleKind::floating; break;
        case WAVE_FORMAT_EXTENSIBLE: {
            // A body too short for its SubFormat says nothing of what the samples are.
            if (fmt.declared_size < FMT_EXTENSIBLE_SIZE) break;
            FormatGuid subformat{};
            const bool whole = fseeko(file, fmt.body_offset + std::int64_t{FMT_SUBFORMAT}, SEEK_SET) == 0 &&
                               std::fread(subformat.data(), 1, subformat.size(), file) == subformat.size();
            fail_if(!whole, "invalid wave file!");
            if (subformat == PCM_SUBFORMAT) format.kind = SampleKind::integer;
            if (subformat == IEEE_FLOAT_SUBFORMAT) format.kind = SampleKind::floating;
            break;
        }
        default: break;
    }
    return format;
}

bool width_supported(const SampleFormat& format) {
    switch (format.kind) {
        case SampleKind::integer:
            return format.bits_per_sample == 8 || format.bits_per_sample == 16 || format.bits_per_sample == 24 ||
                   format.bits_per_sample == 32;
        case SampleKind::floating: return format.bits_per_sample == 32 || format.bits_per_sample == 64;
        case SampleKind::unsupported: break;
    }
    return false;
}

bool same_samples(const SampleFormat& first, const SampleFormat& second) {
    return first.kind == second.kind && first.sample_rate == second.sample_rate &&
           first.bits_per_sample == second.bits_per_sample;
}

bool surround_sizes_fit(std::uint64_t front_length, std::uint32_t sample_rate, std::uint32_t bits_per_sample) {
    constexpr std::uint64_t field_max = UINT32_MAX;
    return front_length <= (field_max - HEADER_AFTER_RIFF_SIZE) / 3 &&
           std::uint64_t{surround_frame_size(bits_per_sample)} * sample_rate <= field_max;
}

SurroundHeader fill_surround_header(std::uint64_t front_length, const SampleFormat& format) {
    SurroundHeader header = SURROUND_HEADER;
    const std::uint32_t sample_rate = format.sample_rate;
    const std::uint32_t bits_per_sample = format.bits_per_sample;
    std::uint32_t frame_size = surround_frame_size(bits_per_sample);
    std::uint32_t data_size = static_cast<std::uint32_t>(3 * front_length);
    put_le32(&header[RIFF_SIZE_AT], static_cast<std::uint32_t>(data_size + HEADER_AFTER_RIFF_SIZE));
    put_le32(&header[SAMPLE_RATE_AT], sample_rate);
    put_le32(&header[BYTE_RATE_AT], frame_size * sample_rate);
    put_le16(&header[BLOCK_ALIGN_AT], static_cast<std::uint16_t>(frame_size));
    put_le16(&header[BITS_PER_SAMPLE_AT], static_cast<std::uint16_t>(bits_per_sample));
    put_le16(&header[VALID_BITS_AT], static_cast<std::uint16_t>(bits_per_sample));
    if (format.kind == SampleKind::floating)
        std::copy(IEEE_FLOAT_SUBFORMAT.begin(), IEEE_FLOAT_SUBFORMAT.end(), &header[SUBFORMAT_AT]);
    put_le32(&header[DATA_SIZE_AT], data_size);
    return header;
}
