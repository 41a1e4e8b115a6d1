#include "wavefile/platform/signals.h"

#include <atomic>
#include <initializer_list>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <csignal>
#endif

namespace {
// Set from a handler: a lock-free atomic is safe there, and the handler's only work.
std::atomic<bool> interruption{false};
static_assert(std::atomic<bool>::is_always_lock_free);
}  // namespace

bool interrupted() { return interruption.load(std::memory_order_relaxed); }

#ifdef _WIN32
namespace {
BOOL WINAPI on_console_event(DWORD event) {
    interruption.store(true, std::memory_order_relaxed);
    // Windows ends the program once this returns from a closed window (or a logoff or shutdown),
    // and at the latest after five seconds: this thread waits, so that the program ends through
    // its own clean-up, which ends this thread with it.
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) Sleep(INFINITE);
    return TRUE;
}
}  // namespace

// A program started with Ctrl-C ignored (start /b, or by a parent that asked so) keeps it so:
// SetConsoleCtrlHandler(nullptr, TRUE) in the parent passes on to its children, and a handler
// added here is not called for Ctrl-C then.
void catch_interruptions() { SetConsoleCtrlHandler(on_console_event, TRUE); }
#else
namespace {
void on_signal(int) { interruption.store(true, std::memory_order_relaxed); }
}  // namespace

void catch_interruptions() {
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction action = {}, before = {};
        if (sigaction(signal, nullptr, &before) != 0 || before.sa_handler == SIG_IGN) continue;
        action.sa_handler = on_signal;
        sigemptyset(&action.sa_mask);
        // Reads and writes on files go on after the handler; the work sees the flag at its next block.
        action.sa_flags = SA_RESTART;
        sigaction(signal, &action, nullptr);
    }
}
#endif
