#include "wavefile/platform/host_name.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

std::string host_name() {
#ifdef _WIN32
    wchar_t name[256];
    DWORD size = sizeof name / sizeof name[0];
    if (!GetComputerNameExW(ComputerNameDnsHostname, name, &size) || size == 0) return "localhost";
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, name, static_cast<int>(size), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(bytes > 0 ? bytes : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, name, static_cast<int>(size), utf8.data(), bytes, nullptr, nullptr);
    return utf8.empty() ? "localhost" : utf8;
#else
    char name[256] = "";
    if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "localhost";
    return name;
#endif
}
