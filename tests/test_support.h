// Temporary folders, running the built programs, and byte comparisons with hex dumps.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "wave_builder.h"

// A fresh folder, removed with everything in it when the test ends.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

struct RunResult {
    int status;  // the exit status, 0 to 255; 1000 + the signal number when killed by one
    std::string out;
    std::string err;
};

inline constexpr unsigned long long NO_FILE_SIZE_LIMIT = ~0ull;

// Runs program with args from inside dir, with SIGXFSZ ignored and the file size limited.
RunResult run_program(const std::string& program, const std::vector<std::string>& args,
                      const std::filesystem::path& dir, unsigned long long file_size_limit = NO_FILE_SIZE_LIMIT);

// Whether a command is on the PATH.
bool installed(const std::string& tool);

// What a shell command prints on standard output.
std::string output_of(const std::string& command);

// A test name made of a case's description: letters and digits kept, the rest '_'.
std::string test_name(const std::string& description);

// Equal, or a failure that dumps both sides in hex around the first difference.
::testing::AssertionResult same_bytes(const Bytes& expected, const Bytes& actual);
