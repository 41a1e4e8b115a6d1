#include "wavefile/platform/files.h"

#include <cerrno>
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
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/vfs.h>
#endif
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

std::optional<FileStamp> file_stamp(const std::string& path) {
    std::error_code error;
    const fs::path name = path_of(path);
    if (!fs::is_regular_file(name, error)) return std::nullopt;
    const std::uint64_t size = fs::file_size(name, error);
    if (error) return std::nullopt;
    const fs::file_time_type modified = fs::last_write_time(name, error);
    if (error) return std::nullopt;
    return FileStamp{size, modified};
}

bool remove_file(const std::string& path) {
    std::error_code error;
    return fs::remove(path_of(path), error);
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

FileSystemFacts file_system_of(const std::string& folder) {
    FileSystemFacts facts;
#ifdef _WIN32
    // The volume's root, a drive or a folder it is mounted on, names it and tells its free space:
    // GetDiskFreeSpaceExW takes a name without a trailing backslash for a file in its folder.
    wchar_t root[MAX_PATH + 1];
    if (GetVolumePathNameW(path_of(folder).c_str(), root, MAX_PATH)) {
        std::wstring volume = root;
        if (!volume.ends_with(L'\\')) volume += L'\\';
        facts.id = std::hash<std::wstring>{}(volume);
        ULARGE_INTEGER for_caller, total;
        if (GetDiskFreeSpaceExW(volume.c_str(), &for_caller, &total, nullptr) && total.QuadPart > 0)
            facts.free = for_caller.QuadPart;
    }
    // The handle's form: the path's form makes Wine print a warning on standard error.
    HANDLE handle = CreateFileW(path_of(folder).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        wchar_t system_name[MAX_PATH + 1] = L"";
        if (GetVolumeInformationByHandleW(handle, nullptr, 0, nullptr, nullptr, nullptr, system_name, MAX_PATH + 1)) {
            const std::wstring name = system_name;
            facts.holds_4_gib_files = name != L"FAT" && name != L"FAT32";
        }
        CloseHandle(handle);
    }
#else
    // statvfs's f_bavail × f_frsize. Some FUSE file systems report no blocks at all: no figure.
    std::error_code error;
    const fs::space_info space = fs::space(folder, error);
    if (!error && space.capacity > 0 && space.available != static_cast<std::uintmax_t>(-1))
        facts.free = space.available;
    struct stat status;
    if (stat(folder.c_str(), &status) == 0) facts.id = static_cast<std::uint64_t>(status.st_dev);
#ifdef __linux__
    // glibc's pathconf(_PC_FILESIZEBITS) answers 32 for every file system it does not know, tmpfs
    // and exFAT among them; the kernel's own name for FAT is exact.
    constexpr long MSDOS_SUPER_MAGIC = 0x4d44;
    struct statfs system;
    if (statfs(folder.c_str(), &system) == 0) facts.holds_4_gib_files = system.f_type != MSDOS_SUPER_MAGIC;
#else
    const long bits = pathconf(folder.c_str(), _PC_FILESIZEBITS);
    facts.holds_4_gib_files = bits < 0 || bits > 32;
#endif
#endif
    return facts;
}

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
