#include "wavefile/report.h"

#include <cstdarg>

namespace {
std::FILE* console_stream = stdout;
bool console_quiet = false;
bool console_hushed = false;

// Flushed at once, so that each mark of the bar shows as it is made.
void say(const char* format, std::va_list arguments) {
    std::vfprintf(console_stream, format, arguments);
    std::fflush(console_stream);
}
}  // namespace

void speak_to(std::FILE* stream, bool quiet) {
    console_stream = stream;
    console_quiet = quiet;
}

std::FILE* console() { return console_stream; }

void report(const char* format, ...) {
    if (console_quiet || console_hushed) return;
    std::va_list arguments;
    va_start(arguments, format);
    say(format, arguments);
    va_end(arguments);
}

void complain(const char* format, ...) {
    if (console_hushed) return;
    std::va_list arguments;
    va_start(arguments, format);
    say(format, arguments);
    va_end(arguments);
}

Hush::Hush() : was_hushed_(console_hushed) { console_hushed = true; }
Hush::~Hush() { console_hushed = was_hushed_; }
