// Where the programs speak: standard output, or standard error when the audio takes standard
// output (sixjoin -o -). Quiet (-q) keeps only the lines that say something went wrong.
#pragma once

#include <cstdio>

// Chosen once, by the main routine, before the banner; standard output and not quiet until then.
void speak_to(std::FILE* stream, bool quiet);
std::FILE* console();

// The banner, the report and the progress bar: nothing when quiet.
[[gnu::format(printf, 1, 2)]] void report(const char* format, ...);

// A stop's message, a warning, a usage error, what a card run could not join: always.
[[gnu::format(printf, 1, 2)]] void complain(const char* format, ...);

// While one lives, nothing at all is said: for work done ahead to look, whose words the real run
// says in their place.
class Hush {
public:
    Hush();
    ~Hush();
    Hush(const Hush&) = delete;
    Hush& operator=(const Hush&) = delete;

private:
    bool was_hushed_;
};
