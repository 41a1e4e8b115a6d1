#include "program_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifndef PROGRAM_RUNNER
#define PROGRAM_RUNNER ""
#endif

bool windows_programs() { return PROGRAM_RUNNER[0] != '\0'; }

// Drains both pipes until the child closes them; pipes, unlike files, ignore the file size limit.
static void drain(int out_fd, int err_fd, RunResult& result, pid_t child, const Watch& watch) {
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
                if (watch) watch(child, result);
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open_count;
            }
        }
    }
}

// Windows programs end their lines with "\r\n"; the tables hold "\n".
static void drop_carriage_returns(std::string& text) {
    std::string kept;
    for (std::size_t at = 0; at < text.size(); ++at)
        if (text[at] != '\r' || at + 1 == text.size() || text[at + 1] != '\n') kept += text[at];
    text = kept;
}

static RunResult run_once(const std::string& program, const std::vector<std::string>& args,
                          const std::filesystem::path& dir, unsigned long long file_size_limit,
                          const std::vector<std::string>& environment, bool stdout_is_audio, const Watch& watch) {
    const std::string runner = PROGRAM_RUNNER;
    std::vector<char*> argv;
    if (!runner.empty()) argv.push_back(const_cast<char*>(runner.c_str()));
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    int out_pipe[2], err_pipe[2];
    if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0) std::abort();
    pid_t child = fork();
    if (child == 0) {
        setpgid(0, 0);
        int in = open("/dev/null", O_RDONLY);
        if (in < 0 || dup2(in, 0) < 0 || dup2(out_pipe[1], 1) < 0 || dup2(err_pipe[1], 2) < 0 ||
            chdir(dir.c_str()) != 0)
            _exit(127);
        close(out_pipe[0]);
        close(err_pipe[0]);
        for (const std::string& entry : environment) putenv(strdup(entry.c_str()));
        if (file_size_limit != NO_FILE_SIZE_LIMIT) {
            signal(SIGXFSZ, SIG_IGN);
            rlimit limit{file_size_limit, file_size_limit};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out_pipe[1]);
    close(err_pipe[1]);
    RunResult result{0, "", ""};
    drain(out_pipe[0], err_pipe[0], result, child, watch);
    int wait_status = 0;
    waitpid(child, &wait_status, 0);
    result.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 1000 + WTERMSIG(wait_status);
    if (windows_programs() && !stdout_is_audio) drop_carriage_returns(result.out);
    if (windows_programs()) drop_carriage_returns(result.err);
    return result;
}

RunResult run_program(const std::string& program, const std::vector<std::string>& args,
                      const std::filesystem::path& dir, unsigned long long file_size_limit,
                      const std::vector<std::string>& environment, bool stdout_is_audio, const Watch& watch) {
    RunResult result = run_once(program, args, dir, file_size_limit, environment, stdout_is_audio, watch);
    // About one Wine start in a thousand fails with status 1 before the program prints a byte;
    // the programs themselves never end with status 1, and always print their banner first.
    for (int retry = 0; retry < 3 && windows_programs() && result.status == 1 && result.out.empty() && result.err.empty();
         ++retry)
        result = run_once(program, args, dir, file_size_limit, environment, stdout_is_audio, watch);
    return result;
}

std::string shell_words(const std::string& program) {
    const std::string runner = PROGRAM_RUNNER;
    return (runner.empty() ? "" : "'" + runner + "' ") + "'" + program + "'";
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

