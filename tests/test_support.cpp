#include "test_support.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <random>
#include <sstream>

TempDir::TempDir() {
    std::random_device seed;
    std::mt19937_64 random(seed());
    do {
        char name[40];
        std::snprintf(name, sizeof name, "sixjoin-test-%016llx", static_cast<unsigned long long>(random()));
        path_ = std::filesystem::temp_directory_path() / name;
    } while (!std::filesystem::create_directory(path_));
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove_all(path_, ignored);
}

std::string test_name(const std::string& description) {
    std::string name;
    for (char ch : description) name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
    return name;
}

::testing::AssertionResult console_matches(const std::string& expected, const std::string& actual) {
    const bool prefix = expected.ends_with("...");
    const std::string wanted = prefix ? expected.substr(0, expected.size() - 3) : expected;
    if (prefix ? actual.starts_with(wanted) : actual == wanted) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "expected" << (prefix ? " to start with" : "") << ":\n"
                                         << wanted << "\nactual:\n" << actual;
}

static std::string hex_dump(const Bytes& bytes, std::size_t from, std::size_t to) {
    std::ostringstream out;
    char line[32];
    for (std::size_t row = from & ~std::size_t{15}; row < to; row += 16) {
        std::snprintf(line, sizeof line, "%08zx ", row);
        out << line;
        for (std::size_t at = row; at < row + 16 && at < bytes.size(); ++at) {
            std::snprintf(line, sizeof line, " %02x", bytes[at]);
            out << line;
        }
        out << '\n';
    }
    return out.str();
}

::testing::AssertionResult same_bytes(const Bytes& expected, const Bytes& actual) {
    if (expected == actual) return ::testing::AssertionSuccess();
    auto [e, a] = std::mismatch(expected.begin(), expected.end(), actual.begin(), actual.end());
    const std::size_t first = static_cast<std::size_t>(e - expected.begin());
    const std::size_t from = first > 48 ? first - 48 : 0;
    return ::testing::AssertionFailure()
           << "sizes " << expected.size() << " (expected) and " << actual.size() << " (actual), first difference at "
           << first << "\nexpected:\n" << hex_dump(expected, from, std::min(expected.size(), first + 64))
           << "actual:\n" << hex_dump(actual, from, std::min(actual.size(), first + 64));
}
