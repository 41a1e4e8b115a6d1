// RIFF chunk walking and the one way of stopping on a fatal condition.
#pragma once

#include <cstdint>
#include <cstdio>

// Four bytes naming a chunk, compared exactly: "fmt " keeps its blank.
struct ChunkId {
    char bytes[4];
    bool operator==(const ChunkId&) const = default;
};

inline constexpr ChunkId RIFF_ID{{'R', 'I', 'F', 'F'}};
inline constexpr ChunkId WAVE_ID{{'W', 'A', 'V', 'E'}};
inline constexpr ChunkId FMT_ID{{'f', 'm', 't', ' '}};
inline constexpr ChunkId DATA_ID{{'d', 'a', 't', 'a'}};

// Where a chunk's body starts (the byte after its 8-byte header) and the size its header declares.
struct ChunkLocation {
    std::int64_t body_offset;
    std::uint32_t declared_size;
};

// Little-endian fields, read and written a byte at a time.
inline std::uint16_t le16(const unsigned char* bytes) {
    return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}
inline std::uint32_t le32(const unsigned char* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}
inline void put_le16(unsigned char* bytes, std::uint16_t value) {
    bytes[0] = static_cast<unsigned char>(value);
    bytes[1] = static_cast<unsigned char>(value >> 8);
}
inline void put_le32(unsigned char* bytes, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<unsigned char>(value >> (8 * i));
}

// Opens path like fopen, but only when it names a regular file (after links): a folder or a
// device is no WAVE file, and opening a named pipe would wait for a writer.
std::FILE* open_regular_file(const char* path, const char* mode);

// When condition holds: prints message and a line break on standard output, exits with status -1.
void fail_if(bool condition, const char* message);

// Reads a 4-byte id and, when size is given, the 4-byte size that follows it.
// Returns false when the file ends (or fails) before all of it is read.
bool read_chunk_head(std::FILE* file, ChunkId& id, std::uint32_t* size);

// Walks the chunks of a RIFF/WAVE file from its start to the first one named wanted_id.
// Stops through fail_if on anything that is not such a file. The file position afterwards is undefined.
ChunkLocation locate_chunk(std::FILE* file, const ChunkId& wanted_id);
