#include "wavefile/platform/streams.h"

#include <filesystem>
#include <system_error>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/uio.h>
#endif

#include "wavefile/platform/paths.h"

namespace fs = std::filesystem;

#ifdef _WIN32
// mingw-w64's off_t is 32 bits; these take 64-bit positions.
bool seek_to(std::FILE* file, std::int64_t offset) { return _fseeki64(file, offset, SEEK_SET) == 0; }
bool seek_to_end(std::FILE* file) { return _fseeki64(file, 0, SEEK_END) == 0; }
std::int64_t position_of(std::FILE* file) { return _ftelli64(file); }
#else
bool seek_to(std::FILE* file, std::int64_t offset) { return fseeko(file, offset, SEEK_SET) == 0; }
bool seek_to_end(std::FILE* file) { return fseeko(file, 0, SEEK_END) == 0; }
std::int64_t position_of(std::FILE* file) { return ftello(file); }
#endif

void restart_readahead([[maybe_unused]] std::FILE* file, [[maybe_unused]] std::int64_t from) {
#ifdef __linux__
    // The header's reads leave up to one readahead window (128 KiB by default) cached past the
    // audio's start; a long read that starts on cached pages keeps the window that small. 1 MiB
    // covers larger windows too, and costs a warm file no more than reading it back.
    constexpr std::int64_t header_window = 1 << 20;
    posix_fadvise(fileno(file), 0, from + header_window, POSIX_FADV_DONTNEED);
#endif
}

bool read_if_cached([[maybe_unused]] std::FILE* file, [[maybe_unused]] unsigned char* buffer,
                    [[maybe_unused]] std::size_t size, [[maybe_unused]] std::int64_t offset) {
#ifdef RWF_NOWAIT
    while (size > 0) {
        iovec piece{buffer, size};
        const ssize_t got = preadv2(fileno(file), &piece, 1, offset, RWF_NOWAIT);
        if (got <= 0) return false;  // EAGAIN: not cached; EOPNOTSUPP: cannot tell; or the end
        buffer += got;
        size -= static_cast<std::size_t>(got);
        offset += got;
    }
    return true;
#else
    return false;
#endif
}

namespace {
constexpr std::size_t LARGE_PAGE = 2 * 1024 * 1024;  // x86-64's and most ARM systems'
}  // namespace

void FreeBuffer::operator()(unsigned char* bytes) const { ::operator delete[](bytes, std::align_val_t{LARGE_PAGE}); }

Buffer large_buffer(std::size_t size) {
    auto* bytes = static_cast<unsigned char*>(::operator new[](size, std::align_val_t{LARGE_PAGE}));
#ifdef __linux__
    madvise(bytes, size, MADV_HUGEPAGE);  // where the system asks for it ("madvise"); a hint only
#endif
    return Buffer(bytes);
}

std::FILE* open_regular_file(const std::string& path, const char* mode) {
    std::error_code error;
    if (!fs::is_regular_file(path_of(path), error)) return nullptr;
    return std::fopen(path.c_str(), mode);
}
