// Paths, as the programs' arguments spell them: their components, how their bytes name a file
// on each system, what a path names (through links), and whether two name one place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

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

// Arguments are bytes on POSIX and UTF-8 on Windows: the std::filesystem path they name, and
// back.
std::filesystem::path path_of(const std::string& name);
std::string name_of(const std::filesystem::path& path);

// Whether two paths name one file, through links or not; false when either does not exist.
bool names_same_file(const std::string& first, const std::string& second);

// Whether two paths name one place, a file or a folder, or would once it is created: through
// links, "." and "..", and a folder's trailing separator.
bool names_same_place(const std::string& first, const std::string& second);

// Whether path names an existing folder (after links). With `failure`, the system's reason when
// what path names cannot be told at all (a failing card reader's I/O error, a folder above it
// that may not be searched) is put there; it stays empty when the path exists or plainly does not.
bool names_folder(const std::string& path, std::string* failure = nullptr);

// A file's size and when it was last written, for comparing outputs with their inputs.
struct FileStamp {
    std::uint64_t size;
    std::filesystem::file_time_type modified;
    std::int64_t modified_seconds;  // the same, as seconds since 1970 (UTC), for a calendar
};
// Nothing when path names no regular file.
std::optional<FileStamp> file_stamp(const std::string& path);

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
