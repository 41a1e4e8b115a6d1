#include "wavefile/platform/terminal.h"

#include <cstdlib>

#include "wavefile/report.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>

#include <csignal>
#endif

#ifdef _WIN32
bool is_terminal(std::FILE* stream) { return _isatty(_fileno(stream)) != 0; }
void carry_bytes_on_stdout() { _setmode(_fileno(stdout), _O_BINARY); }
#else
bool is_terminal(std::FILE* stream) { return isatty(fileno(stream)) != 0; }
void carry_bytes_on_stdout() { std::signal(SIGPIPE, SIG_IGN); }
#endif

bool waits_for_enter(unsigned long console_processes, bool input_is_console) {
    return console_processes == 1 && input_is_console;
}

#ifdef _WIN32
namespace {
void wait_in_own_console() {
    DWORD processes[2];
    DWORD mode = 0;
    const bool input_is_console = GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
    if (!waits_for_enter(GetConsoleProcessList(processes, 2), input_is_console)) return;
    std::fputs("\npress Enter to close this window", console());
    std::fflush(console());
    for (int c = std::getchar(); c != '\n' && c != EOF;) c = std::getchar();
}
}  // namespace

void keep_own_console_open() { std::atexit(wait_in_own_console); }
#else
void keep_own_console_open() {}
#endif
