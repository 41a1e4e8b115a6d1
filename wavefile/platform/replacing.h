// Replacing a file in one step, with what it takes: whether it may be written, its permission
// bits, and removing a file.
#pragma once

#include <cstdio>
#include <string>

// Removes a file; false when it cannot.
bool remove_file(const std::string& path);

// Whether the user may write to the existing file at path (not only read it).
bool may_write(const std::string& path);

// Gives `file` the permission bits of the file at model, where the system has such bits.
void copy_permissions(const std::string& model, std::FILE* file);

// Renames from over to in one step, so that to names the old file or the new one and never
// neither; with write_through, on Windows the rename is on the disk when this returns (elsewhere
// flush_folder does that). False when it cannot.
bool replace_file(const std::string& from, const std::string& to, bool write_through);
