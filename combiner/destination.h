// Where a join's bytes go. An output is created aside, as <output>.part in the output's own
// folder, filled, flushed when asked, and renamed over the output once whole: the output's name
// holds what it held before the run, or the whole join, never a part of one. A stop removes the
// .part; only a kill leaves it, for the next run to replace. Standard output, and a name that
// leads to a named pipe or a device, are written in place, and never removed.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "wavefile/platform/files.h"

inline constexpr char PART_SUFFIX[] = ".part";
inline constexpr char CANNOT_CREATE_OUTPUT[] = "cannot open output file!";
inline constexpr char CANNOT_WRITE_OUTPUT[] = "cannot write output file!";
inline constexpr char NO_ROOM[] = "not enough free space for output file!";
inline constexpr char TOO_LARGE_FOR_FILE_SYSTEM[] = "output file too large for its file system!";

// What keeps a file of `size` bytes off a file system that gives `free` bytes more room: FAT
// holds no file of 4 GiB or more; nullptr when it fits or the file system gives no figure.
const char* room_problem(std::uint64_t size, std::uint64_t freed, const FileSystemFacts& facts);

class Destination {
public:
    // name: the output as the user gave it or the run derived it; stream: standard output, open.
    explicit Destination(std::string name, std::FILE* stream = nullptr);
    // Removes a .part that was not placed.
    ~Destination();
    Destination(const Destination&) = delete;
    Destination& operator=(const Destination&) = delete;

    const std::string& name() const { return name_; }
    // Standard output, a named pipe or a device: no .part, no room to measure, nothing removed.
    bool in_place() const { return stream_ != nullptr || kind_ == PathKind::other; }
    // The folder whose file system receives the output.
    std::string folder() const { return folder_of(target_); }
    // Whether creating or placing the output would write over the file at path, through a link too.
    bool overwrites(const std::string& path) const;
    // The bytes that the output name holds now, which the join replaces.
    std::uint64_t replaced_size() const;
    // The bytes that a .part a killed run left holds, which creating the .part gives back.
    std::uint64_t leftover_size() const;
    // What keeps a join of `size` bytes off its disk (room_problem), or nullptr.
    const char* room_problem(std::uint64_t size) const;

    // Creates the .part, or opens what is written in place; false when it cannot (a folder or an
    // output that may not be written, a folder that takes no new file).
    bool create();
    std::FILE* file() const { return file_; }
    // Puts the whole join under the output's name: with flush, the .part is on its disk first and
    // the rename in its folder after; the replaced output's permission bits carry over. False when
    // a step fails; the output then keeps what it held.
    bool place(bool flush);
    // A .part left by a killed run, for a take that is not joined again.
    void remove_leftover() const;

private:
    std::string name_;
    std::FILE* stream_;
    PathKind kind_;
    std::string target_;  // the file the name leads to, through links: the one replaced
    std::string part_;
    std::FILE* file_ = nullptr;
    bool part_created_ = false;
};
