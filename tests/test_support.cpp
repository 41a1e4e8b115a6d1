#include "test_support.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

TempDir::TempDir() {
    std::string name = (std::filesystem::temp_directory_path() / "sixjoin-test-XXXXXX").string();
    if (mkdtemp(name.data()) == nullptr) std::abort();
    path_ = name;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove_all(path_, ignored);
}

static std::string slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

RunResult run_program(const std::string& program, const std::vector<std::string>& args,
                      const std::filesystem::path& dir, unsigned long long file_size_limit) {
    TempDir console;
    const std::string out_path = (console / "stdout").string();
    const std::string err_path = (console / "stderr").string();
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    pid_t child = fork();
    if (child == 0) {
        int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int in = open("/dev/null", O_RDONLY);
        if (out < 0 || err < 0 || in < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 ||
            chdir(dir.c_str()) != 0)
            _exit(127);
        if (file_size_limit != NO_FILE_SIZE_LIMIT) {
            signal(SIGXFSZ, SIG_IGN);
            rlimit limit{file_size_limit, file_size_limit};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    int wait_status = 0;
    waitpid(child, &wait_status, 0);
    int status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 1000 + WTERMSIG(wait_status);
    return {status, slurp(out_path), slurp(err_path)};
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
