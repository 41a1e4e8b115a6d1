// Reading a file as a stream: 64-bit positions, readahead, reading what the cache holds, large
// buffers, and opening only regular files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

// Moves to an absolute position, or to the end; false when the stream cannot.
bool seek_to(std::FILE* file, std::int64_t offset);
bool seek_to_end(std::FILE* file);

// The position of a stream, -1 when it cannot be told.
std::int64_t position_of(std::FILE* file);

// Before a long read of a file from `from` on: on Linux, drops the pages that the header's small
// reads and seeks left cached up to just past `from`, so that the kernel's readahead starts
// afresh with the long reads instead of staying one small window ahead (on a spinning disk, half
// its pace). Nothing elsewhere.
void restart_readahead(std::FILE* file, std::int64_t from);

// Reads size bytes at offset only when the system holds all of them in its cache, without waiting
// for the disk and without starting a read of it (Linux preadv2 with RWF_NOWAIT): true when it
// did. False when any byte is not cached, the read fails, or the system cannot tell (macOS,
// Windows, file systems that do not say): the caller then reads them the usual way.
bool read_if_cached(std::FILE* file, unsigned char* buffer, std::size_t size, std::int64_t offset);

// Memory for long-lived buffers of `size` bytes, aligned for large pages, which spare a
// page fault and a TLB entry for each 4 KiB (on Linux, transparent huge pages). Its bytes are
// not initialised.
struct FreeBuffer {
    void operator()(unsigned char* bytes) const;
};
using Buffer = std::unique_ptr<unsigned char[], FreeBuffer>;
Buffer large_buffer(std::size_t size);

// Opens path like fopen, but only when it names a regular file (after links): a folder or a
// device is no WAVE file, and opening a named pipe would wait for a writer.
std::FILE* open_regular_file(const std::string& path, const char* mode);

// A stream that closes itself, so that a stop closes what the join had open.
struct CloseFile {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using OwnedFile = std::unique_ptr<std::FILE, CloseFile>;
