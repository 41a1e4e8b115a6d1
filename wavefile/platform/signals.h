// What differs between systems about being interrupted: Ctrl-C, SIGTERM and a closed terminal
// (SIGHUP) on POSIX; Ctrl-C, Ctrl-Break and a closed console window on Windows. The handlers only
// set a flag; the work checks it at its own pace and stops cleanly.
#pragma once

// Called once, before any work: from then on those signals set the flag instead of ending the
// program. A signal that the program was started with ignored (nohup, a background job) stays
// ignored.
void catch_interruptions();

// Whether one of them has come since catch_interruptions.
bool interrupted();
