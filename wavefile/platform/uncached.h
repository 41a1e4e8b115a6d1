// A file's bytes on its disk: flushing them there, and reading them back past the system's cache.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

// Writes what the system holds of a file out to the disk itself, and asks the disk to store it
// past its own write cache where the system can (Linux fdatasync, macOS F_FULLFSYNC, Windows
// FlushFileBuffers). False when that fails: the bytes may not be on the disk.
bool flush_to_disk(std::FILE* file);

// A file read from its disk rather than from the system's cache: on Linux its cached pages are
// written out when it is opened and it is read with O_DIRECT (or, where the file system refuses
// that, its cached pages are dropped), on macOS it is read with F_NOCACHE, on Windows with
// FILE_FLAG_NO_BUFFERING. The disk's or its bridge's own cache may still answer.
struct CloseUncached {
    void operator()(void* handle) const;
};
using UncachedFile = std::unique_ptr<void, CloseUncached>;
UncachedFile open_uncached(const std::string& path);

// Uncached reads go in whole sectors into aligned memory: sizes and buffers passed to
// read_uncached are multiples of this (large_buffer's are).
inline constexpr std::size_t UNCACHED_ALIGNMENT = 4096;

// Reads up to size bytes at the file's position; the count read (0 at the end), -1 on failure.
std::int64_t read_uncached(const UncachedFile& file, unsigned char* buffer, std::size_t size);
