// The command line both programs read: options first, then file names.
#pragma once

#include <optional>
#include <string>
#include <vector>

inline constexpr int USAGE_ERROR_STATUS = 64;  // EX_USAGE of sysexits

struct CommandLine {
    enum class Action { run, help, version, usage_error };
    Action action = Action::run;
    std::string problem;                // for usage_error: the line that names the wrong option
    std::optional<std::string> output;  // -o PATH, for a program that takes it
    std::vector<std::string> files;
};

// Options come before the file names: "--" ends them, and so does the first argument that does
// not begin with '-'. -h/--help and -V/--version answer at once; -o PATH, --output PATH and
// --output=PATH are known when takes_output is set. Any other argument beginning with '-' before
// the file names, or -o without its path, is a usage error.
CommandLine read_command_line(int argc, char* argv[], const char* program, bool takes_output);

// For help, version and usage errors: prints what the action calls for (usage is the help text)
// and returns the exit status. Nothing for a run.
std::optional<int> answer_without_running(const CommandLine& command, const char* usage);
