#include "wavefile/platform/file_system.h"

#include <filesystem>
#include <functional>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/vfs.h>
#endif
#endif

#include "wavefile/platform/paths.h"

namespace fs = std::filesystem;

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
