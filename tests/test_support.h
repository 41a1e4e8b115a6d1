// Temporary folders, test names, and byte comparisons with hex dumps.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "wave_builder.h"
#include "wavefile/chunk.h"

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

// The message of the stop (fail_if) that work ends with; empty when it ends without one.
template <class Work>
std::string stop_message(Work work) {
    try {
        work();
    } catch (const Stop& stop) {
        return stop.message;
    }
    return "";
}

// A test name made of a case's description: letters and digits kept, the rest '_'.
std::string test_name(const std::string& description);

// Console text as a table row expects it: equal, or, when the row ends in "...", starting with
// what comes before that.
::testing::AssertionResult console_matches(const std::string& expected, const std::string& actual);

// Equal, or a failure that dumps both sides in hex around the first difference.
::testing::AssertionResult same_bytes(const Bytes& expected, const Bytes& actual);
