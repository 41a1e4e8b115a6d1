// Loaded with LD_PRELOAD into a program under test: every read of the file whose name ends with
// $FAIL_READ_NAME that reaches byte $FAIL_READ_AT fails with an input/output error, as a worn
// card's reads do. glibc's streams call a read of their own that no preload can replace, so
// fread, which the programs call, is the one replaced, with preadv2, which they call to read what
// the cache holds.
#include <dlfcn.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

bool reaches_failure(int fd, off_t offset, std::size_t bytes) {
    const char* name = std::getenv("FAIL_READ_NAME");
    const char* at = std::getenv("FAIL_READ_AT");
    if (name == nullptr || at == nullptr) return false;
    char path[4096];
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t length = readlink(link.c_str(), path, sizeof path);
    if (length <= 0 || !std::string_view(path, static_cast<std::size_t>(length)).ends_with(name)) return false;
    return offset + static_cast<off_t>(bytes) > std::atoll(at);
}

}  // namespace

extern "C" std::size_t fread(void* buffer, std::size_t size, std::size_t count, std::FILE* stream) {
    using Fread = std::size_t (*)(void*, std::size_t, std::size_t, std::FILE*);
    static const auto real_fread = reinterpret_cast<Fread>(dlsym(RTLD_NEXT, "fread"));
    if (reaches_failure(fileno(stream), ftello(stream), size * count)) {
        errno = EIO;
        return 0;
    }
    return real_fread(buffer, size, count, stream);
}

extern "C" ssize_t preadv2(int fd, const iovec* pieces, int count, off_t offset, int flags) {
    using Preadv2 = ssize_t (*)(int, const iovec*, int, off_t, int);
    static const auto real_preadv2 = reinterpret_cast<Preadv2>(dlsym(RTLD_NEXT, "preadv2"));
    std::size_t bytes = 0;
    for (int at = 0; at < count; ++at) bytes += pieces[at].iov_len;
    if (reaches_failure(fd, offset, bytes)) {
        errno = EIO;
        return -1;
    }
    return real_preadv2(fd, pieces, count, offset, flags);
}
