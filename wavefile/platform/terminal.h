// What differs between systems about the console a program speaks to: whether a stream is a
// terminal, standard output as a pipe for a file's bytes, and a console window of the program's own.
#pragma once

#include <cstdio>

// Whether a stream is a terminal.
bool is_terminal(std::FILE* stream);

// Readies standard output to carry a file's bytes: on Windows, no carriage return is put before
// a line feed; and a reader that closes the pipe early makes a write fail, rather than ending the
// program without a word (SIGPIPE).
void carry_bytes_on_stdout();

// Whether a program waits for Enter before it ends: when it is the only process attached to its
// console, Windows opened that window for it (a double-click, or files dropped on it) and closes
// it as the program ends; a console shared with a shell, a script or another program is theirs.
// Input that is not that console (a pipe, a file, nothing) never waits, so no script hangs on it.
bool waits_for_enter(unsigned long console_processes, bool input_is_console);

// Called once at the top of main: on Windows, however the program ends, it then asks for Enter
// and waits when waits_for_enter says so, so that its last words can be read. Nothing elsewhere.
void keep_own_console_open();
