// The six-channel WAVE_FORMAT_EXTENSIBLE header, as WAVE, or as RF64 past 4 GiB.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "wavefile/sample_format.h"

inline constexpr std::size_t SURROUND_HEADER_SIZE = 68;
inline constexpr std::size_t RF64_SURROUND_HEADER_SIZE = 104;

// The templates: fixed fields hold their final values, the rest is filled per run. The RF64 one
// holds the same "fmt " chunk after a "ds64" chunk that carries the 64-bit sizes.
extern const std::array<unsigned char, SURROUND_HEADER_SIZE> SURROUND_HEADER;
extern const std::array<unsigned char, RF64_SURROUND_HEADER_SIZE> RF64_SURROUND_HEADER;

// A filled header of either kind: its first `size` bytes are written before the audio, with
// the chunks carried from the inputs between its "fmt " chunk and its last 8 bytes, the header
// of the "data" chunk.
struct SurroundHeader {
    std::array<unsigned char, RF64_SURROUND_HEADER_SIZE> bytes;
    std::size_t size;
    std::uint64_t riff_size;  // the file's length less 8, as the header holds it
    std::size_t carried_at() const { return size - 8; }
};

inline constexpr std::uint8_t SIX_SPEAKER_MASK = 0x3F;  // FL FR FC LFE BL BR

// Bytes in one six-channel frame of bits_per_sample-bit samples.
constexpr std::uint32_t surround_frame_size(std::uint32_t bits_per_sample) {
    return 6 * bits_per_sample / 8;
}

// Whether the 32-bit byte rate field can hold the six-channel byte rate; every size fits, in RF64.
bool surround_byte_rate_fits(const SampleFormat& format);

// The header for front_length bytes of stereo audio in the given format, with carried_size bytes
// of carried chunks before the audio: the WAVE template when its 32-bit sizes hold the file, the
// RF64 one otherwise. The byte rate must fit.
SurroundHeader fill_surround_header(std::uint64_t front_length, const SampleFormat& format,
                                    std::uint64_t carried_size);
