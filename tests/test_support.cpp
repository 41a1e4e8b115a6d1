#include "test_support.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
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

// Drains both pipes until the child closes them; pipes, unlike files, ignore the file size limit.
static void drain(int out_fd, int err_fd, RunResult& result) {
    pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int open_count = 2;
    char buffer[4096];
    while (open_count > 0 && poll(fds, 2, -1) > 0) {
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(got));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open_count;
            }
        }
    }
}

RunResult run_program(const std::string& program, const std::vector<std::string>& args,
                      const std::filesystem::path& dir, unsigned long long file_size_limit) {
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    int out_pipe[2], err_pipe[2];
    if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0) std::abort();
    pid_t child = fork();
    if (child == 0) {
        int in = open("/dev/null", O_RDONLY);
        if (in < 0 || dup2(in, 0) < 0 || dup2(out_pipe[1], 1) < 0 || dup2(err_pipe[1], 2) < 0 ||
            chdir(dir.c_str()) != 0)
            _exit(127);
        close(out_pipe[0]);
        close(err_pipe[0]);
        if (file_size_limit != NO_FILE_SIZE_LIMIT) {
            signal(SIGXFSZ, SIG_IGN);
            rlimit limit{file_size_limit, file_size_limit};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(out_pipe[1]);
    close(err_pipe[1]);
    RunResult result{0, "", ""};
    drain(out_pipe[0], err_pipe[0], result);
    int wait_status = 0;
    waitpid(child, &wait_status, 0);
    result.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 1000 + WTERMSIG(wait_status);
    return result;
}

bool installed(const std::string& tool) {
    return std::system(("command -v " + tool + " >/dev/null").c_str()) == 0;
}

std::string output_of(const std::string& command) {
    std::string text;
    if (std::FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe)) text += buffer;
        pclose(pipe);
    }
    return text;
}

std::string test_name(const std::string& description) {
    std::string name;
    for (char ch : description) name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
    return name;
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
