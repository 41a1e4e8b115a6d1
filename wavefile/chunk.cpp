#include "wavefile/chunk.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

std::FILE* open_regular_file(const char* path, const char* mode) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return nullptr;
    return std::fopen(path, mode);
}

void fail_if(bool condition, const char* message) {
    if (!condition) return;
    std::printf("%s\n", message);
    std::exit(-1);
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
    bool is_riff = fseeko(file, 0, SEEK_SET) == 0 && read_chunk_head(file, id, &size) && id == RIFF_ID;
    fail_if(!is_riff, "not a wave file!");
    // The RIFF size is not trusted: recorders that stop abruptly leave it wrong, so the walk runs
    // to the physical end of the file.
    fail_if(!read_chunk_head(file, id, nullptr) || id != WAVE_ID, "invalid wave file!");

    std::int64_t header_offset = 12;
    for (;;) {
        bool have_head = fseeko(file, header_offset, SEEK_SET) == 0 && read_chunk_head(file, id, &size);
        fail_if(!have_head, "invalid wave file!");
        std::int64_t body_offset = header_offset + 8;
        if (id == wanted_id) return {body_offset, size};
        // Bodies of odd size are followed by a pad byte that keeps chunks word-aligned.
        header_offset = body_offset + size + (size & 1);
    }
}
