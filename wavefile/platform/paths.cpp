#include "wavefile/platform/paths.h"

#include <system_error>

#include <sys/stat.h>

#ifdef _WIN32
#include <windows.h>
#endif

namespace fs = std::filesystem;

// Arguments are bytes on POSIX. On Windows the programs run in the UTF-8 code page (their
// manifest asks for it), so arguments and fopen are UTF-8 there, and a path must be read as
// UTF-8 too: libstdc++ would read a plain char string in the C locale's code page.
std::filesystem::path path_of(const std::string& name) {
#ifdef _WIN32
    return fs::path(std::u8string(name.begin(), name.end()));
#else
    return fs::path(name);
#endif
}

std::string name_of(const std::filesystem::path& path) {
#ifdef _WIN32
    const std::u8string name = path.u8string();
    return std::string(name.begin(), name.end());
#else
    return path.string();
#endif
}

std::size_t last_component_start(std::string_view path) {
#ifdef _WIN32
    const std::size_t drive = path.size() >= 2 && path[1] == ':' ? 2 : 0;
    const std::size_t separator = path.find_last_of("/\\");
    if (separator == std::string_view::npos || separator < drive) return drive;
#else
    const std::size_t separator = path.rfind('/');
    if (separator == std::string_view::npos) return 0;
#endif
    return separator + 1;
}

std::string inside_folder(std::string folder, std::string_view name) {
    if (last_component_start(folder) != folder.size()) folder += PATH_SEPARATOR;
    return folder.append(name);
}

bool names_same_file(const std::string& first, const std::string& second) {
    std::error_code error;
    return fs::equivalent(path_of(first), path_of(second), error);
}

bool names_same_place(const std::string& first, const std::string& second) {
    if (names_same_file(first, second)) return true;
    std::error_code error;
    // weakly_canonical resolves the links of the part that exists, and keeps the rest as it is.
    const fs::path one = fs::weakly_canonical(fs::absolute(path_of(first), error), error);
    if (error) return false;
    const fs::path other = fs::weakly_canonical(fs::absolute(path_of(second), error), error);
    if (error) return false;
    return (one / "").lexically_normal() == (other / "").lexically_normal();
}

bool names_folder(const std::string& path, std::string* failure) {
    std::error_code error;
    const bool folder = fs::is_directory(path_of(path), error);
    if (failure && error && error != std::errc::no_such_file_or_directory && error != std::errc::not_a_directory)
        *failure = error.message();
    return folder;
}

std::optional<FileStamp> file_stamp(const std::string& path) {
    std::error_code error;
    const fs::path name = path_of(path);
    if (!fs::is_regular_file(name, error)) return std::nullopt;
    const std::uint64_t size = fs::file_size(name, error);
    if (error) return std::nullopt;
    const fs::file_time_type modified = fs::last_write_time(name, error);
    if (error) return std::nullopt;
    // file_time_type's epoch is the library's own (C++20 names no conversion every library has).
#ifdef _WIN32
    struct _stat64 status;
    if (_wstat64(name.c_str(), &status) != 0) return std::nullopt;
#else
    struct stat status;
    if (stat(path.c_str(), &status) != 0) return std::nullopt;
#endif
    return FileStamp{size, modified, static_cast<std::int64_t>(status.st_mtime)};
}

PathKind path_kind(const std::string& path) {
#ifdef _WIN32
    // NUL and CON are no files to std::filesystem: ask the handle what it is.
    HANDLE handle = CreateFileW(path_of(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return PathKind::missing;
    const DWORD type = GetFileType(handle);
    BY_HANDLE_FILE_INFORMATION information;
    const bool disk_file = type == FILE_TYPE_DISK && GetFileInformationByHandle(handle, &information);
    CloseHandle(handle);
    if (!disk_file) return PathKind::other;
    return information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY ? PathKind::folder : PathKind::regular;
#else
    struct stat status;
    if (stat(path.c_str(), &status) != 0) return PathKind::missing;
    if (S_ISREG(status.st_mode)) return PathKind::regular;
    return S_ISDIR(status.st_mode) ? PathKind::folder : PathKind::other;
#endif
}

std::string link_target(const std::string& path) {
    fs::path name = path_of(path);
    for (int hops = 0; hops < 40; ++hops) {  // as many as Linux follows
        std::error_code error;
        if (!fs::is_symlink(name, error)) break;
        const fs::path target = fs::read_symlink(name, error);
        if (error) break;
        name = target.is_absolute() ? target : name.parent_path() / target;
    }
    return name_of(name);
}

std::string folder_of(const std::string& path) {
    const std::size_t start = last_component_start(path);
    if (start == 0) return ".";
    // "takes/x.wav" is in "takes"; "/x.wav" in "/", "C:\\x.wav" in "C:\\" and "C:x.wav" in "C:".
    const bool separator_ends_name = start > 1 && path[start - 2] != ':' && (path[start - 1] == '/' || path[start - 1] == '\\');
    return path.substr(0, separator_ends_name ? start - 1 : start);
}

std::string existing_folder(const std::string& path) {
    for (fs::path folder = path_of(path); !folder.empty(); folder = folder.parent_path()) {
        std::error_code error;
        if (fs::is_directory(folder, error)) return name_of(folder);
        if (folder == folder.parent_path()) break;
    }
    return ".";
}

