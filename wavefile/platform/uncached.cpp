#include "wavefile/platform/uncached.h"

#include <cerrno>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include "wavefile/platform/paths.h"

bool flush_to_disk(std::FILE* file) {
    if (std::fflush(file) != 0) return false;
#ifdef _WIN32
    return FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)))) != 0;
#elif defined(__APPLE__)
    // fsync leaves the bytes in the drive's cache; F_FULLFSYNC asks the drive to store them, and
    // fails on file systems that cannot, where fsync is the best there is.
    return fcntl(fileno(file), F_FULLFSYNC) == 0 || fsync(fileno(file)) == 0;
#else
    return fdatasync(fileno(file)) == 0;
#endif
}

#ifdef _WIN32
void CloseUncached::operator()(void* handle) const { CloseHandle(handle); }

UncachedFile open_uncached(const std::string& path) {
    HANDLE handle = CreateFileW(path_of(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    return UncachedFile(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

std::int64_t read_uncached(const UncachedFile& file, unsigned char* buffer, std::size_t size) {
    DWORD got = 0;
    if (!ReadFile(file.get(), buffer, static_cast<DWORD>(size), &got, nullptr)) return -1;
    return got;
}
#else
namespace {
// The descriptor is kept in the handle's pointer, one past it so that descriptor 0 is no null.
int descriptor(void* handle) { return static_cast<int>(reinterpret_cast<std::intptr_t>(handle) - 1); }
UncachedFile owning(int fd) { return UncachedFile(reinterpret_cast<void*>(static_cast<std::intptr_t>(fd) + 1)); }
}  // namespace

void CloseUncached::operator()(void* handle) const { close(descriptor(handle)); }

UncachedFile open_uncached(const std::string& path) {
#ifdef __APPLE__
    const int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) return nullptr;
    UncachedFile file = owning(fd);
    if (fcntl(fd, F_NOCACHE, 1) != 0) return nullptr;
#else
    // O_DIRECT reads go to the disk whatever the cache holds, and put nothing in it: filling the
    // cache with an output just to drop it costs a virtual machine that hands freed memory back
    // to its host several times the read. A file system that refuses O_DIRECT gets its cached
    // pages dropped instead, which drops only pages already on the disk.
    int fd = open(path.c_str(), O_RDONLY | O_DIRECT);
    const bool direct = fd >= 0;
    if (!direct && errno == EINVAL) fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) return nullptr;
    UncachedFile file = owning(fd);
    // What a run before this one left unwritten is written first; after a flush this costs nothing.
    if (fdatasync(fd) != 0) return nullptr;
    if (!direct) {
        posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    }
#endif
    return file;
}

std::int64_t read_uncached(const UncachedFile& file, unsigned char* buffer, std::size_t size) {
    for (;;) {
        const ssize_t got = read(descriptor(file.get()), buffer, size);
        if (got >= 0 || errno != EINTR) return got;
    }
}
#endif
