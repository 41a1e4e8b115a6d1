// What differs between Linux, macOS and Windows about files and folders, wrapped once: 64-bit
// file positions, path components, how an argument's bytes name a file, folder listings,
// readahead and large pages, flushing a file to its disk and reading it back past the cache,
// replacing a file in one step, and what a file system tells of its room.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The separator put between a folder and a name.
#ifdef _WIN32
inline constexpr char PATH_SEPARATOR = '\\';
#else
inline constexpr char PATH_SEPARATOR = '/';
#endif

// Index of the first character of a path's last component. '/' ends a component everywhere;
// on Windows '\' does too, and a drive prefix such as "C:" belongs to the folder.
std::size_t last_component_start(std::string_view path);

// name inside folder: a separator between them unless the folder ends with one (or is "C:").
std::string inside_folder(std::string folder, std::string_view name);

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

// Whether two paths name one file, through links or not; false when either does not exist.
bool names_same_file(const std::string& first, const std::string& second);

// Whether two paths name one place, a file or a folder, or would once it is created: through
// links, "." and "..", and a folder's trailing separator.
bool names_same_place(const std::string& first, const std::string& second);

// Whether path names an existing folder (after links). With `failure`, the system's reason when
// what path names cannot be told at all (a failing card reader's I/O error, a folder above it
// that may not be searched) is put there; it stays empty when the path exists or plainly does not.
bool names_folder(const std::string& path, std::string* failure = nullptr);

// One entry of a folder: its name, as arguments spell names, and what it is. Links count as
// what they lead to, except that a link to a folder is `other`: it can make a loop.
struct FolderEntry {
    enum class Kind { file, folder, other };
    std::string name;
    Kind kind;
};

// The entries of a folder, in no particular order; nothing when it cannot be read.
std::optional<std::vector<FolderEntry>> list_folder(const std::string& path);

// Creates a folder and the missing folders above it; false when it cannot.
bool make_folders(const std::string& path);

// A file's size and when it was last written, for comparing outputs with their inputs.
struct FileStamp {
    std::uint64_t size;
    std::filesystem::file_time_type modified;
};
// Nothing when path names no regular file.
std::optional<FileStamp> file_stamp(const std::string& path);

// Removes a file; false when it cannot.
bool remove_file(const std::string& path);

// What a path names, after links: nothing, a regular file, a folder, or something else: a named
// pipe, a device (/dev/null, NUL) or a socket.
enum class PathKind { missing, regular, folder, other };
PathKind path_kind(const std::string& path);

// The file a name leads to: the name itself, or where its symbolic links end, which need not
// exist yet.
std::string link_target(const std::string& path);

// The folder a path's last component lies in: "." when the path names none.
std::string folder_of(const std::string& path);

// The nearest folder that exists at or above path: the folder a path not yet created would be
// made in; "." when none of its folders exists.
std::string existing_folder(const std::string& path);

// Whether the user may write to the existing file at path (not only read it).
bool may_write(const std::string& path);

// Gives `file` the permission bits of the file at model, where the system has such bits.
void copy_permissions(const std::string& model, std::FILE* file);

// Renames from over to in one step, so that to names the old file or the new one and never
// neither; with write_through, on Windows the rename is on the disk when this returns (elsewhere
// flush_folder does that). False when it cannot.
bool replace_file(const std::string& from, const std::string& to, bool write_through);

// Writes a folder's entries, a rename into it among them, out to its disk: fsync of the folder,
// and F_FULLFSYNC on macOS where the folder takes it. Nothing on Windows, whose rename writes
// through. False when that fails.
bool flush_folder(const std::string& folder);

// What the file system holding a folder tells about itself; what it does not tell stays empty.
struct FileSystemFacts {
    std::optional<std::uint64_t> id;    // the same for every folder on one file system
    std::optional<std::uint64_t> free;  // what a user without privileges may still write
    bool holds_4_gib_files = true;      // false on FAT
};
FileSystemFacts file_system_of(const std::string& folder);

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
