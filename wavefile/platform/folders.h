// Folders: their listings, making them, and writing their entries out to the disk.
#pragma once

#include <optional>
#include <string>
#include <vector>

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

// Writes a folder's entries, a rename into it among them, out to its disk: fsync of the folder,
// and F_FULLFSYNC on macOS where the folder takes it. Nothing on Windows, whose rename writes
// through. False when that fails.
bool flush_folder(const std::string& folder);
