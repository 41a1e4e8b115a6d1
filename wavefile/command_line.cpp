#include "wavefile/command_line.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

#include "wavefile/report.h"

namespace {
CommandLine usage_error(const std::string& what, const char* program) {
    CommandLine command;
    command.action = CommandLine::Action::usage_error;
    command.problem = what;
    command.program = program;
    return command;
}
}  // namespace

CommandLine read_command_line(int argc, char* argv[], const char* program, bool joins) {
    CommandLine command;
    std::string length_option;  // as the user spelled it
    int at = 1;
    for (; at < argc; ++at) {
        const std::string_view arg = argv[at];
        if (arg == "--") {
            ++at;
            break;
        }
        if (!arg.starts_with('-')) break;
        if (arg == "-h" || arg == "--help") {
            command.action = CommandLine::Action::help;
            return command;
        }
        if (arg == "-V" || arg == "--version") {
            command.action = CommandLine::Action::version;
            return command;
        }
        const bool attached = arg.starts_with("--output=");
        const bool trim = arg == "-t" || arg == "--trim", pad = arg == "-p" || arg == "--pad";
        if (joins && (arg == "-o" || arg == "--output" || attached)) {
            const std::string path = attached ? std::string(arg.substr(9)) : at + 1 < argc ? argv[++at] : "";
            const std::string name(arg.substr(0, arg.find('=')));
            if (path.empty()) return usage_error("option '" + name + "' needs a path", program);
            command.outputs.push_back(path);
            if (command.outputs.size() > MOST_OUTPUTS)
                return usage_error("option '" + name + "' given more than " + std::to_string(MOST_OUTPUTS) + " times",
                                   program);
        } else if (arg == "-q" || arg == "--quiet") {
            command.quiet = true;
        } else if (joins && (arg == "-n" || arg == "--dry-run")) {
            command.dry_run = true;
        } else if (joins && arg == "--verify") {
            command.verify = true;
        } else if (joins && arg == "--mhl") {
            command.hash_list = command.verify = true;  // a file is listed once its read-back matched
        } else if (joins && (arg == "-u" || arg == "--update")) {
            command.update = true;
        } else if (joins && (trim || pad)) {
            const LengthRule rule = trim ? LengthRule::trim : LengthRule::pad;
            if (command.lengths != LengthRule::equal && command.lengths != rule)
                return usage_error("options '" + length_option + "' and '" + std::string(arg) + "' exclude each other",
                                   program);
            command.lengths = rule;
            length_option = arg;
        } else {
            return usage_error("unknown option '" + std::string(arg) + "'", program);
        }
    }
    command.files.assign(argv + at, argv + argc);
    if (command.outputs.size() > 1 && std::find(command.outputs.begin(), command.outputs.end(), "-") != command.outputs.end())
        return usage_error("option '-o -' goes with no other '-o'", program);
    if (command.hash_list && command.outputs == std::vector<std::string>{"-"})
        return usage_error("option '--mhl' lists the outputs in a folder, and standard output is none", program);
    return command;
}

std::optional<int> answer_without_running(const CommandLine& command, const char* usage) {
    switch (command.action) {
        case CommandLine::Action::run: return std::nullopt;
        case CommandLine::Action::help: std::fputs(usage, console()); return 0;
        case CommandLine::Action::version: return 0;  // the banner carries it
        case CommandLine::Action::usage_error: break;
    }
    return refuse_usage(command.problem, command.program);
}

int refuse_usage(const std::string& problem, const char* program) {
    complain("%s - see %s --help\n", problem.c_str(), program);
    return USAGE_ERROR_STATUS;
}
