// What a join of two inputs writes, worked out from their chunks alone: the format, the frames,
// the carried chunks and the output's size; and whether an output already holds it (-u).
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "combiner/interleave.h"
#include "wavefile/chunk.h"
#include "wavefile/command_line.h"
#include "wavefile/sample_format.h"

struct JoinPlan {
    SampleFormat format;
    JoinLength length;
    std::string carried;
    std::uint64_t output_size;
};

// The plan of joining front and rear, whose audio is located: reports the format and what --trim
// or --pad cost, and stops on inputs that cannot be joined. front and rear are left anywhere.
JoinPlan plan_join(std::FILE* front, std::FILE* rear, const AudioSpan& front_audio, const AudioSpan& rear_audio,
                   LengthRule lengths);

// The same, worked out quietly for what is measured ahead of a join (-u, the room on the disk),
// whose words the join itself says; nothing when the join would stop.
std::optional<JoinPlan> plan_quietly(std::FILE* front, std::FILE* rear, const AudioSpan& front_audio,
                                     const AudioSpan& rear_audio, LengthRule lengths);
// The same for a take not yet opened.
std::optional<JoinPlan> plan_quietly(const std::string& front_name, const std::string& rear_name, LengthRule lengths);

// Whether the output already holds the planned join, as far as can be told without reading it
// (-u): it was written no earlier than either input, and has the size the join gives it, which
// an output cut short by a crash never has.
bool already_joined(const JoinPlan& plan, const std::string& front_name, const std::string& rear_name,
                    const std::string& output_name);
