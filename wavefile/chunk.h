// RIFF chunk walking and the one way of stopping on a fatal condition.
#pragma once

#include <cstdint>
#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <vector>

// Four bytes naming a chunk, compared exactly: "fmt " keeps its blank.
struct ChunkId {
    char bytes[4];
    bool operator==(const ChunkId&) const = default;
};

inline constexpr ChunkId RIFF_ID{{'R', 'I', 'F', 'F'}};
inline constexpr ChunkId RF64_ID{{'R', 'F', '6', '4'}};  // EBU Tech 3306: sizes past 4 GiB in "ds64"
inline constexpr ChunkId BW64_ID{{'B', 'W', '6', '4'}};  // ITU-R BS.2088: the same layout
inline constexpr ChunkId DS64_ID{{'d', 's', '6', '4'}};
inline constexpr ChunkId WAVE_ID{{'W', 'A', 'V', 'E'}};
inline constexpr ChunkId FMT_ID{{'f', 'm', 't', ' '}};
inline constexpr ChunkId DATA_ID{{'d', 'a', 't', 'a'}};

// Where a chunk's body starts (the byte after its 8-byte header), the size its header declares,
// and its id.
struct ChunkLocation {
    std::int64_t body_offset;
    std::uint32_t declared_size;
    ChunkId id{};
    // Where the next chunk's header starts: a body of odd size is followed by a pad byte that
    // keeps chunks word-aligned.
    std::int64_t next_chunk_at() const { return body_offset + declared_size + (declared_size & 1); }
};

// The first chunk's header follows "RIFF", the RIFF size and "WAVE".
inline constexpr std::int64_t FIRST_CHUNK_AT = 12;

// The audio of a file: where its "data" body starts and how many bytes of it there are.
struct AudioSpan {
    std::int64_t offset;
    std::uint64_t length;
};

// Little-endian fields, read and written a byte at a time.
inline std::uint16_t le16(const unsigned char* bytes) {
    return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}
inline std::uint32_t le32(const unsigned char* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}
inline std::uint64_t le64(const unsigned char* bytes) {
    return le32(bytes) | std::uint64_t{le32(bytes + 4)} << 32;
}
inline void put_le16(unsigned char* bytes, std::uint16_t value) {
    bytes[0] = static_cast<unsigned char>(value);
    bytes[1] = static_cast<unsigned char>(value >> 8);
}
inline void put_le32(unsigned char* bytes, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<unsigned char>(value >> (8 * i));
}
inline void put_le64(unsigned char* bytes, std::uint64_t value) {
    for (int i = 0; i < 8; ++i) bytes[i] = static_cast<unsigned char>(value >> (8 * i));
}

// What fail_if throws: the main routine catches it and ends with STOP_STATUS, closing what is
// open on the way, and a card run goes on with its next take.
struct Stop {
    std::string message;
};
inline constexpr int STOP_STATUS = -1;

// What an interruption (Ctrl-C, SIGTERM, a closed terminal) throws: the run ends with
// INTERRUPTED_STATUS, a card run after its summary.
struct Interrupted : Stop {};
inline constexpr int INTERRUPTED_STATUS = 130;  // 128 + SIGINT, as shells report it
inline constexpr char INTERRUPTED_MESSAGE[] = "interrupted!";

// Once an interruption has come: prints "interrupted!" on the console, also when quiet, and stops
// the join (throws Interrupted). Main thread only.
void stop_if_interrupted();

// When condition holds: prints message and a line break on the console, then stops the join
// (throws Stop). Never called from any thread but the main one.
void fail_if(bool condition, const char* message);

// What a failure that the system raises rather than a check (no memory, no thread to be had)
// says, once caught: the take stops with it as with a fail_if.
std::string failure_message(const std::exception& failure);

// Reads a 4-byte id and, when size is given, the 4-byte size that follows it.
// Returns false when the file ends (or fails) before all of it is read.
bool read_chunk_head(std::FILE* file, ChunkId& id, std::uint32_t* size);

// Reads the chunk header at header_offset; nothing when the file ends (or fails) before its 8 bytes.
std::optional<ChunkLocation> read_chunk_at(std::FILE* file, std::int64_t header_offset);

// Walks the chunks of a RIFF/WAVE file (or RF64/BW64) from its start to the first one named wanted_id.
// Stops through fail_if on anything that is not such a file. The file position afterwards is undefined.
ChunkLocation locate_chunk(std::FILE* file, const ChunkId& wanted_id);

// The 64-bit "data" size that the "ds64" chunk of an RF64 or BW64 file holds, when that chunk
// comes first after "WAVE"; nothing for any other file.
std::optional<std::uint64_t> ds64_data_size(std::FILE* file);

// Locates the audio of a WAVE file: the "data" chunk's declared size (in "ds64" for RF64) when
// that is set and fits in the file, otherwise everything to the end of the file, as a recorder
// that never finalised it leaves it.
AudioSpan locate_audio(std::FILE* file);

// Every chunk of a file that lies whole within it and outside its audio, in file order: those
// before the "data" chunk, and those after the audio when the audio ends before the file does, up
// to the first bytes there that name no chunk.
// The file must be one that locate_audio found the audio of.
std::vector<ChunkLocation> chunks_beside_audio(std::FILE* file, const AudioSpan& audio);
