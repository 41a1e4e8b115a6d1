// The command line both programs read: options first, then file names.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

inline constexpr int USAGE_ERROR_STATUS = 64;  // EX_USAGE of sysexits
inline constexpr std::size_t MOST_OUTPUTS = 4;  // -o given at most so many times

// What a join does with inputs of different lengths: refuses them, joins as much as the shorter
// holds (--trim), or as much as the longer holds, the shorter followed by silence (--pad).
enum class LengthRule { equal, trim, pad };

struct CommandLine {
    enum class Action { run, help, version, usage_error };
    Action action = Action::run;
    std::string problem;                // for usage_error: what is wrong, naming the option
    const char* program = "";
    std::vector<std::string> outputs;   // -o PATH, each given, for a program that takes it
    LengthRule lengths = LengthRule::equal;
    bool dry_run = false;               // -n: say what would be joined, write nothing
    bool quiet = false;                 // -q: say only what went wrong
    bool verify = false;                // --verify: read each output back from its disk and compare
    bool hash_list = false;             // --mhl: list what was proven in each destination's hash list (implies verify)
    bool update = false;                // -u: pass over outputs already joined
    std::vector<std::string> files;
};

// Options come before the file names: "--" ends them, and so does the first argument that does
// not begin with '-'. -h/--help and -V/--version answer at once; -q/--quiet goes for both
// programs. A program that joins also takes
// -o PATH (--output PATH, --output=PATH) up to MOST_OUTPUTS times, -o - alone, -n/--dry-run, --verify (no short form: -v is "verbose"
// to most users), --mhl (which implies --verify), -u/--update, and one of -t/--trim and -p/--pad.
// Any other argument beginning with '-' before the file names, -o without its path or given too
// often, -o - beside another -o or with --mhl, or both --trim and --pad, is a usage error.
CommandLine read_command_line(int argc, char* argv[], const char* program, bool joins);

// Prints the line of a usage error, which names what is wrong, and returns its status.
int refuse_usage(const std::string& problem, const char* program);

// For help, version and usage errors: prints what the action calls for (usage is the help text)
// and returns the exit status. Nothing for a run.
std::optional<int> answer_without_running(const CommandLine& command, const char* usage);
