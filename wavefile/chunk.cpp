#include "wavefile/chunk.h"

#include <new>
#include <system_error>

#include "wavefile/platform/files.h"
#include "wavefile/platform/signals.h"
#include "wavefile/report.h"

void fail_if(bool condition, const char* message) {
    if (!condition) return;
    complain("%s\n", message);
    throw Stop{message};
}

void stop_if_interrupted() {
    if (!interrupted()) return;
    complain("%s\n", INTERRUPTED_MESSAGE);
    throw Interrupted{{INTERRUPTED_MESSAGE}};
}

std::string failure_message(const std::exception& failure) {
    if (dynamic_cast<const std::bad_alloc*>(&failure)) return "not enough memory!";
    const auto* system = dynamic_cast<const std::system_error*>(&failure);
    if (system && system->code() == std::errc::resource_unavailable_try_again) return "cannot start a thread!";
    return std::string(failure.what()) + "!";
}

bool read_chunk_head(std::FILE* file, ChunkId& id, std::uint32_t* size) {
    if (std::fread(id.bytes, 1, sizeof id.bytes, file) != sizeof id.bytes) return false;
    if (size == nullptr) return true;
    unsigned char size_bytes[4];
    if (std::fread(size_bytes, 1, sizeof size_bytes, file) != sizeof size_bytes) return false;
    *size = le32(size_bytes);
    return true;
}

ChunkLocation locate_chunk(std::FILE* file, const ChunkId& wanted_id) {
    ChunkId id{};
    std::uint32_t size = 0;
    bool is_riff = seek_to(file, 0) && read_chunk_head(file, id, &size) &&
                   (id == RIFF_ID || id == RF64_ID || id == BW64_ID);
    fail_if(!is_riff, "not a wave file!");
    // The RIFF size is not trusted: recorders that stop abruptly leave it wrong, so the walk runs
    // to the physical end of the file.
    fail_if(!read_chunk_head(file, id, nullptr) || id != WAVE_ID, "invalid wave file!");

    for (std::int64_t header_offset = FIRST_CHUNK_AT;;) {
        const std::optional<ChunkLocation> chunk = read_chunk_at(file, header_offset);
        fail_if(!chunk, "invalid wave file!");
        if (chunk->id == wanted_id) return *chunk;
        header_offset = chunk->next_chunk_at();
    }
}

std::optional<ChunkLocation> read_chunk_at(std::FILE* file, std::int64_t header_offset) {
    ChunkLocation chunk{header_offset + 8, 0};
    if (!seek_to(file, header_offset) || !read_chunk_head(file, chunk.id, &chunk.declared_size)) return std::nullopt;
    return chunk;
}

std::optional<std::uint64_t> ds64_data_size(std::FILE* file) {
    ChunkId id{};
    std::uint32_t size = 0;
    unsigned char sizes[16];  // the RIFF size, then the data size
    const bool is_rf64 = seek_to(file, 0) && read_chunk_head(file, id, nullptr) &&
                         (id == RF64_ID || id == BW64_ID);
    const bool has_ds64 = is_rf64 && seek_to(file, FIRST_CHUNK_AT) && read_chunk_head(file, id, &size) &&
                          id == DS64_ID && size >= sizeof sizes &&
                          std::fread(sizes, 1, sizeof sizes, file) == sizeof sizes;
    if (!has_ds64) return std::nullopt;
    return le64(sizes + 8);
}

AudioSpan locate_audio(std::FILE* file) {
    const ChunkLocation data = locate_chunk(file, DATA_ID);
    // 0xFFFFFFFF is what RF64 writes in place of a size too large for 32 bits, and what some
    // recorders leave in a file they never finalised; 0 is the other unfinished mark.
    std::optional<std::uint64_t> declared;
    if (data.declared_size == UINT32_MAX) declared = ds64_data_size(file);
    else if (data.declared_size != 0) declared = data.declared_size;
    fail_if(!seek_to_end(file), "invalid wave file!");
    const std::int64_t file_length = position_of(file);
    fail_if(file_length < data.body_offset, "invalid wave file!");
    const std::uint64_t to_end = static_cast<std::uint64_t>(file_length - data.body_offset);
    const bool declared_fits = declared && *declared != 0 && *declared <= to_end;
    return {data.body_offset, declared_fits ? *declared : to_end};
}

namespace {
// RIFF names chunks with four printable ASCII characters.
bool names_a_chunk(const ChunkId& id) {
    for (const char byte : id.bytes)
        if (byte < 0x20 || byte > 0x7E) return false;
    return true;
}
}  // namespace

std::vector<ChunkLocation> chunks_beside_audio(std::FILE* file, const AudioSpan& audio) {
    fail_if(!seek_to_end(file), "cannot read input file!");
    const std::int64_t file_length = position_of(file);
    const std::int64_t data_header_at = audio.offset - 8;
    const std::int64_t after_audio = audio.offset + static_cast<std::int64_t>(audio.length + (audio.length & 1));
    std::vector<ChunkLocation> chunks;
    // The walk that led to the "data" chunk, then on from the end of its audio and pad byte.
    for (std::int64_t at = FIRST_CHUNK_AT; at + 8 <= file_length;) {
        if (at == data_header_at) {
            at = after_audio;
            continue;
        }
        const std::optional<ChunkLocation> chunk = read_chunk_at(file, at);
        if (!chunk || chunk->body_offset + chunk->declared_size > file_length) break;
        // Past the audio, bytes that name no chunk end the chunks: the zeros that a card's file
        // system leaves after a power cut, or a recorder's preallocated tail, would otherwise be
        // walked as a chunk every 8 bytes, for hours and gigabytes on a long take.
        if (at > data_header_at && !names_a_chunk(chunk->id)) break;
        chunks.push_back(*chunk);
        at = chunk->next_chunk_at();
    }
    return chunks;
}
