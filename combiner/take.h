// One take joined onto each of its destinations, as a run on that take alone joins it: its inputs
// checked, each destination's room, the join written to all at once, each output read back.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "combiner/card.h"
#include "combiner/destination.h"
#include "wavefile/command_line.h"

inline constexpr int OUTPUT_NOT_CREATED = 25;  // the length of its message, as it always was
inline constexpr char STANDARD_OUTPUT[] = "-";  // -o -

// What became of a take that did not stop as a whole.
struct Joined {
    int status = 0;                 // what a run on this take alone ends with
    bool already = false;           // passed over on every destination (-u)
    unsigned verified = 0;          // outputs read back as written
    std::vector<LeftOut> failures;  // each destination that failed, as "<output>: <message>" when several
    // The outputs in files of their own read back as written, each with its XXH3-128, for a hash list.
    std::vector<std::pair<std::string, std::string>> proven;
};

// Joins one take into each of its destinations: the report, the progress bar and "done.", or the
// message that stops it (fail_if throws Stop, and what is open closes as it passes: each
// destination removes its .part, and each output keeps what it held). A destination that fails
// on its own stops alone.
Joined join_take(const std::string& front_name, const std::optional<std::string>& rear_name,
                 std::deque<Destination>& destinations, const CommandLine& command);
