#include "wavefile/platform/folders.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

#include "wavefile/platform/paths.h"

namespace fs = std::filesystem;

std::optional<std::vector<FolderEntry>> list_folder(const std::string& path) {
    std::error_code error;
    fs::directory_iterator entries(path_of(path), error);
    if (error) return std::nullopt;
    std::vector<FolderEntry> listing;
    for (; !error && entries != fs::directory_iterator(); entries.increment(error)) {
        const fs::directory_entry& entry = *entries;
        std::error_code ignored;
        FolderEntry::Kind kind = FolderEntry::Kind::other;
        if (entry.is_regular_file(ignored)) kind = FolderEntry::Kind::file;
        else if (entry.is_directory(ignored) && !entry.is_symlink(ignored)) kind = FolderEntry::Kind::folder;
        listing.push_back({name_of(entry.path().filename()), kind});
    }
    if (error) return std::nullopt;
    return listing;
}

bool make_folders(const std::string& path) {
    std::error_code error;
    fs::create_directories(path_of(path), error);
    return !error;
}

bool flush_folder([[maybe_unused]] const std::string& folder) {
#ifdef _WIN32
    return true;
#else
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return false;
#ifdef __APPLE__
    bool flushed = fcntl(fd, F_FULLFSYNC) == 0 || fsync(fd) == 0;
#else
    // A file system that cannot flush a folder (EINVAL) keeps its entries as it keeps them.
    bool flushed = fsync(fd) == 0 || errno == EINVAL;
#endif
    close(fd);
    return flushed;
#endif
}
