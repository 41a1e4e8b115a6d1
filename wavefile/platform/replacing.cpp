#include "wavefile/platform/replacing.h"

#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "wavefile/platform/paths.h"

namespace fs = std::filesystem;

bool remove_file(const std::string& path) {
    std::error_code error;
    return fs::remove(path_of(path), error);
}

bool may_write(const std::string& path) {
#ifdef _WIN32
    return _waccess(path_of(path).c_str(), 2) == 0;
#else
    return access(path.c_str(), W_OK) == 0;
#endif
}

void copy_permissions([[maybe_unused]] const std::string& model, [[maybe_unused]] std::FILE* file) {
#ifndef _WIN32
    struct stat status;
    if (stat(model.c_str(), &status) == 0) fchmod(fileno(file), status.st_mode & 07777);
#endif
}

bool replace_file(const std::string& from, const std::string& to, [[maybe_unused]] bool write_through) {
#ifdef _WIN32
    const DWORD flags = MOVEFILE_REPLACE_EXISTING | (write_through ? MOVEFILE_WRITE_THROUGH : 0);
    return MoveFileExW(path_of(from).c_str(), path_of(to).c_str(), flags) != 0;
#else
    return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}
