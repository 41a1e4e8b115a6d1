#include "wavefile/sample_format.h"

#include "wavefile/platform/files.h"

FmtFields read_fmt_fields(std::FILE* file, const ChunkLocation& fmt) {
    FmtFields fields{};
    bool whole = fmt.declared_size >= FMT_FIELDS_SIZE && seek_to(file, fmt.body_offset) &&
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
            if (fmt.declared_size < FMT_SUBFORMAT_END) break;
            FormatGuid subformat{};
            const bool whole = seek_to(file, fmt.body_offset + std::int64_t{FMT_SUBFORMAT}) &&
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
