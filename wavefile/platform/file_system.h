// What a file system tells of itself: which one holds a folder, its room, and whether it holds
// files of 4 GiB.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// What the file system holding a folder tells about itself; what it does not tell stays empty.
struct FileSystemFacts {
    std::optional<std::uint64_t> id;    // the same for every folder on one file system
    std::optional<std::uint64_t> free;  // what a user without privileges may still write
    bool holds_4_gib_files = true;      // false on FAT
};
FileSystemFacts file_system_of(const std::string& folder);
