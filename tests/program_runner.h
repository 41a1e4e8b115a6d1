// Runs the built programs as a user would, capturing status, standard output and standard error.
// Where the programs are Windows builds, PROGRAM_RUNNER (Wine) runs them.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

struct RunResult {
    int status;  // the exit status, 0 to 255; 1000 + the signal number when killed by one
    std::string out;  // with the carriage returns of Windows line ends dropped
    std::string err;
};

inline constexpr unsigned long long NO_FILE_SIZE_LIMIT = ~0ull;

// Whether the programs under test are Windows builds, run under Wine.
bool windows_programs();

// Called with what the program has printed so far, each time it prints more, and the id of its
// process group, as a terminal's Ctrl-C would reach it.
using Watch = std::function<void(pid_t group, const RunResult& so_far)>;

// Runs program with args from inside dir, in a process group of its own, with SIGXFSZ ignored,
// the file size limited, and the environment's NAME=value entries added. Standard output keeps
// its bytes when it carries audio.
RunResult run_program(const std::string& program, const std::vector<std::string>& args,
                      const std::filesystem::path& dir, unsigned long long file_size_limit = NO_FILE_SIZE_LIMIT,
                      const std::vector<std::string>& environment = {}, bool stdout_is_audio = false,
                      const Watch& watch = nullptr);

// How a shell command line starts the program: under Wine for a Windows build.
std::string shell_words(const std::string& program);

// Whether a command is on the PATH.
bool installed(const std::string& tool);

// What a shell command prints on standard output.
std::string output_of(const std::string& command);
