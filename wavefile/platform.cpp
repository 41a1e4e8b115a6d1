#include "wavefile/platform.h"

#include "wavefile/console.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <csignal>
#endif

namespace fs = std::filesystem;

namespace {
// Arguments are bytes on POSIX. On Windows the programs run in the UTF-8 code page (their
// manifest asks for it), so arguments and fopen are UTF-8 there, and a path must be read as
// UTF-8 too: libstdc++ would read a plain char string in the C locale's code page.
fs::path path_of(const std::string& name) {
#ifdef _WIN32
    return fs::path(std::u8string(name.begin(), name.end()));
#else
    return fs::path(name);
#endif
}

std::string name_of(const fs::path& path) {
#ifdef _WIN32
    const std::u8string name = path.u8string();
    return std::string(name.begin(), name.end());
#else
    return path.string();
#endif
}
}  // namespace

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

bool names_same_file(const std::string& first, const std::string& second) {
    std::error_code error;
    return fs::equivalent(path_of(first), path_of(second), error);
}

bool names_folder(const std::string& path) {
    std::error_code error;
    return fs::is_directory(path_of(path), error);
}

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

#ifdef _WIN32
bool is_terminal(std::FILE* stream) { return _isatty(_fileno(stream)) != 0; }
void carry_bytes_on_stdout() { _setmode(_fileno(stdout), _O_BINARY); }
#else
bool is_terminal(std::FILE* stream) { return isatty(fileno(stream)) != 0; }
void carry_bytes_on_stdout() { std::signal(SIGPIPE, SIG_IGN); }
#endif

bool waits_for_enter(unsigned long console_processes, bool input_is_console) {
    return console_processes == 1 && input_is_console;
}

#ifdef _WIN32
namespace {
void wait_in_own_console() {
    DWORD processes[2];
    DWORD mode = 0;
    const bool input_is_console = GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
    if (!waits_for_enter(GetConsoleProcessList(processes, 2), input_is_console)) return;
    std::fputs("\npress Enter to close this window", console());
    std::fflush(console());
    for (int c = std::getchar(); c != '\n' && c != EOF;) c = std::getchar();
}
}  // namespace

void keep_own_console_open() { std::atexit(wait_in_own_console); }
#else
void keep_own_console_open() {}
#endif
