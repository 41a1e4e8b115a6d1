#include "combiner/take.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "combiner/fan_out.h"
#include "combiner/interleave.h"
#include "combiner/join_plan.h"
#include "combiner/output_hash.h"
#include "combiner/read_back.h"
#include "wavefile/chunk.h"
#include "wavefile/platform/files.h"
#include "wavefile/report.h"

namespace {

// The copy moves blocks of whole frames; a stream buffer would only add a copy of each block
// and split it into two system calls.
void unbuffer(std::FILE* file) { std::setvbuf(file, nullptr, _IONBF, 0); }

// One destination of a take, and what became of it there.
struct TakeOutput {
    Destination& destination;
    bool already = false;           // -u passes it over
    const char* no_room = nullptr;  // what keeps the join off its disk
    bool open = false;              // being written
    const char* failure = nullptr;  // what stopped it
    std::string proven = "";        // the hash it read back with, once it did
};

// A destination stops alone: says why, as "<path>: <message>" when the take has several, and the
// take goes on with the others.
void fail_output(TakeOutput& output, const char* message, bool several, bool say = true) {
    if (say && several) complain("%s: %s\n", output.destination.name().c_str(), message);
    else if (say) complain("%s\n", message);
    output.failure = message;
    output.open = false;
}

bool any_open(const std::vector<TakeOutput>& outputs) {
    return std::any_of(outputs.begin(), outputs.end(), [](const TakeOutput& output) { return output.open; });
}

// What a take's outputs came to: the status of the first that failed (25 when it could not be
// created), each failure for a card's summary, and those read back as written.
Joined outcome(const std::vector<TakeOutput>& outputs) {
    Joined joined;
    for (const TakeOutput& output : outputs) {
        if (output.proven.empty()) continue;
        ++joined.verified;
        if (!output.destination.in_place()) joined.proven.emplace_back(output.destination.name(), output.proven);
    }
    for (const TakeOutput& output : outputs) {
        if (!output.failure) continue;
        if (joined.failures.empty()) joined.status = output.failure == CANNOT_CREATE_OUTPUT ? OUTPUT_NOT_CREATED : 255;
        joined.failures.push_back({outputs.size() > 1 ? output.destination.name() : "", output.failure});
    }
    return joined;
}

// Each destination's line, in the order given: "already joined." under one that -u passes over
// (the .part a killed run left beside it removed); for the others the room is measured, then the
// .part made, so that a disk too small is known before its first byte.
void open_outputs(std::vector<TakeOutput>& outputs, const std::optional<JoinPlan>& planned) {
    for (TakeOutput& output : outputs) {
        Destination& destination = output.destination;
        if (output.already) {
            report("6ch output wave file: %s\nalready joined.\n", destination.name().c_str());
            destination.remove_leftover();
            continue;
        }
        output.no_room = planned ? destination.room_problem(planned->output_size) : nullptr;
        if (!output.no_room && !destination.create()) {
            fail_output(output, CANNOT_CREATE_OUTPUT, outputs.size() > 1);
            continue;
        }
        report("6ch output wave file: %s\n", destination.name().c_str());
        output.open = !output.no_room;
        if (output.open) unbuffer(destination.file());
    }
}

// A take that -u passes over on every destination, with --verify: its join computed anew and
// compared with each output read back in turn, nothing written.
void compare_with_join(std::FILE* front, std::FILE* rear, const AudioSpan& front_audio, const AudioSpan& rear_audio,
                       std::vector<TakeOutput>& outputs, const JoinPlan& plan) {
    const bool several = outputs.size() > 1;
    for (TakeOutput& output : outputs) {
        const std::string& name = output.destination.name();
        report_verifying(several ? name : "");
        fail_if(!seek_to(front, front_audio.offset), "cannot read input file!");
        fail_if(!seek_to(rear, rear_audio.offset), "cannot read input file!");
        ReadBack back(name, several ? name : "");
        try {
            put_surround(front, rear, back, plan.length, plan.format, plan.carried, COMPARED_RING_BYTES);
            output.proven = back.finish();
            report_verified(output.proven);
        } catch (const DoesNotReadBack&) {
            if (!several) throw;  // one output: the take stops, as it always did
            fail_output(output, DOES_NOT_READ_BACK, several, false);
        }
    }
}

// Writes the join to every open output: on the main thread when there is one destination, a
// thread for each when there are several. "done." once each holds the whole join; a destination
// that fails is said after the bar, and the take goes on with the others.
void write_outputs(std::FILE* front, std::FILE* rear, std::vector<TakeOutput>& outputs, const JoinPlan& plan,
                   OutputHash* hash, bool flush) {
    if (outputs.size() == 1) {
        Destination& destination = outputs[0].destination;
        OutputFile sink(destination.file(), hash);
        write_surround(front, rear, sink, plan.length, plan.format, plan.carried);
        fail_if(!destination.place(flush), CANNOT_WRITE_OUTPUT);
        report("\ndone.\n");
        return;
    }
    std::vector<Destination*> writing;
    for (TakeOutput& output : outputs)
        if (output.open) writing.push_back(&output.destination);
    std::vector<bool> failed(writing.size(), true);
    try {
        FanOut sink(writing, hash, flush);
        write_surround(front, rear, sink, plan.length, plan.format, plan.carried);
        failed = sink.finish();
    } catch (const NoDestinationLeft&) {
    }
    bool any_failed = false;
    for (std::size_t at = 0, written = 0; at < outputs.size(); ++at) {
        if (!outputs[at].open) continue;
        if (failed[written++]) {
            fail_output(outputs[at], CANNOT_WRITE_OUTPUT, true);
            any_failed = true;
        }
    }
    // The bar's line ends with the first failure said, as a stop's message ends it.
    if (any_open(outputs)) report(any_failed ? "done.\n" : "\ndone.\n");
}

}  // namespace

Joined join_take(const std::string& front_name, const std::optional<std::string>& rear_name,
                 std::deque<Destination>& destinations, const CommandLine& command) {
    stop_if_interrupted();
    const OwnedFile front(open_regular_file(front_name, "rb"));
    fail_if(!front, "cannot open front input file!");
    unbuffer(front.get());
    report("front wave file:      %s\n", front_name.c_str());
    const AudioSpan front_audio = locate_audio(front.get());

    fail_if(!rear_name, "rear file not given and no auto-detect possible!");
    const OwnedFile rear(open_regular_file(*rear_name, "rb"));
    fail_if(!rear, "cannot open rear input file!");
    unbuffer(rear.get());
    report("rear wave file:       %s\n", rear_name->c_str());
    fail_if(names_same_file(front_name, *rear_name), "front and rear input are the same file!");
    const AudioSpan rear_audio = locate_audio(rear.get());
    for (const Destination& destination : destinations)
        fail_if(destination.overwrites(front_name) || destination.overwrites(*rear_name),
                "output file would overwrite an input file!");

    // -u judges each destination alone. The plan is read through the join's own files: a second
    // reader of a file leaves cached pages beyond the header that keep the kernel's readahead for
    // the long reads small (half a spinning disk's pace).
    const std::optional<JoinPlan> planned =
        plan_quietly(front.get(), rear.get(), front_audio, rear_audio, command.lengths);
    std::vector<TakeOutput> outputs;
    for (Destination& destination : destinations)
        outputs.push_back({destination,
                           command.update && planned && already_joined(*planned, front_name, *rear_name, destination.name())});
    open_outputs(outputs, planned);
    const bool several = outputs.size() > 1;
    if (std::all_of(outputs.begin(), outputs.end(), [](const TakeOutput& output) { return output.already; })) {
        if (command.verify) compare_with_join(front.get(), rear.get(), front_audio, rear_audio, outputs, *planned);
        Joined joined = outcome(outputs);
        joined.already = true;
        return joined;
    }
    // Every destination failed before its .part: nothing to plan aloud.
    if (std::none_of(outputs.begin(), outputs.end(), [](const TakeOutput& o) { return o.open || o.no_room; }))
        return outcome(outputs);

    const JoinPlan plan = plan_join(front.get(), rear.get(), front_audio, rear_audio, command.lengths);
    for (TakeOutput& output : outputs)
        if (output.no_room) fail_output(output, output.no_room, several);
    if (!any_open(outputs)) return outcome(outputs);
    fail_if(!seek_to(front.get(), front_audio.offset), "cannot read input file!");
    fail_if(!seek_to(rear.get(), rear_audio.offset), "cannot read input file!");
    // One hash of what was written stands for every destination.
    std::optional<OutputHash> written_hash;
    if (command.verify) written_hash.emplace();
    write_outputs(front.get(), rear.get(), outputs, plan, written_hash ? &*written_hash : nullptr, command.verify);
    if (!command.verify) return outcome(outputs);

    // With --verify each output is on its disk before "done.", and read back from it after,
    // with those -u passed over.
    std::vector<TakeOutput*> checked;
    std::vector<std::string> paths;
    for (TakeOutput& output : outputs) {
        if (output.failure) continue;
        checked.push_back(&output);
        paths.push_back(output.destination.name());
    }
    const std::vector<bool> verified = verify_outputs(paths, plan.output_size, written_hash->hex(), several);
    for (std::size_t at = 0; at < checked.size(); ++at) {
        if (verified[at]) checked[at]->proven = written_hash->hex();
        else fail_output(*checked[at], DOES_NOT_READ_BACK, several, false);
    }
    return outcome(outputs);
}

