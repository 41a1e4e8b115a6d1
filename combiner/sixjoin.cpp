// sixjoin: joins the front and rear stereo files of a four-channel recording into one
// six-channel 5.1 WAVE file (front pair, silent centre and LFE, rear pair).
#include <algorithm>
#include <cstdio>
#include <deque>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "combiner/card.h"
#include "combiner/destination.h"
#include "combiner/hash_list.h"
#include "combiner/join_plan.h"
#include "combiner/names.h"
#include "combiner/room.h"
#include "combiner/take.h"
#include "wavefile/chunk.h"
#include "wavefile/command_line.h"
#include "wavefile/platform/files.h"
#include "wavefile/platform/signals.h"
#include "wavefile/platform/terminal.h"
#include "wavefile/report.h"

namespace {

const char USAGE[] =
    "usage: sixjoin [-o PATH | -o -] [-t | -p] [-n] [-q] [-u] [--verify] [--mhl] FRONT.wav [REAR.wav]\n"
    "       sixjoin [-o FOLDER]... [-t | -p] [-n] [-q] [-u] [--verify] [--mhl] FOLDER...\n"
    "\n"
    "Joins the front and rear stereo files of a four-channel take into one\n"
    "six-channel 5.1 WAVE file. Without REAR.wav, the rear is FRONT.wav with F and R\n"
    "(f and r) swapped just before the extension. The output is FRONT.wav with\n"
    "-6ch.wav in place of its extension.\n"
    "\n"
    "Given folders, such as a recorder's card, joins every take in them and their\n"
    "subfolders: each *F.wav whose *R.wav lies beside it. It goes on past a take\n"
    "that cannot be joined, and ends with a summary of what was not joined.\n"
    "\n"
    "options:\n"
    "  -o, --output PATH  write the output to PATH, or into PATH when it is a folder;\n"
    "                     with a folder given, under PATH, in the same subfolders;\n"
    "                     given up to four times, to every PATH at once, the inputs\n"
    "                     read once;\n"
    "                     -o - writes it to standard output, for an encoder's pipe,\n"
    "                     and all that is said goes to standard error\n"
    "  -t, --trim         join inputs of different lengths as far as the shorter one\n"
    "                     goes, dropping the rest of the longer one\n"
    "  -p, --pad          join inputs of different lengths as far as the longer one\n"
    "                     goes, with silence after the end of the shorter one\n"
    "  -n, --dry-run      say what would be joined and the room it needs, and write\n"
    "                     nothing\n"
    "  -u, --update       pass over a take whose output is no older than its inputs\n"
    "                     and has the size the join gives it, as one that a run\n"
    "                     stopped or interrupted never has\n"
    "      --verify       once an output is written, flush it to its disk, read it\n"
    "                     back past the system's cache, and compare it by its\n"
    "                     XXH3-128 hash with what was written; with -u, compare a\n"
    "                     take passed over with its join computed anew\n"
    "      --mhl          --verify, then list each output proven in an ASC Media Hash\n"
    "                     List in the ascmhl folder at the root of each destination\n"
    "                     (each -o folder, each card folder, or the output's folder),\n"
    "                     adding one generation to the history there\n"
    "  -q, --quiet        say nothing but what went wrong\n"
    "  -h, --help         print this help and exit\n"
    "  -V, --version      print the version and exit\n"
    "  --                 end the options: every argument after it is a file name\n"
    "\n"
    "examples:\n"
    "  every take of a card, joined into another folder:\n"
    "    sixjoin -o ~/takes /media/card\n"
    "  the same before the card is formatted: each output proved on its disk, and\n"
    "  what an interrupted run left finished:\n"
    "    sixjoin -u --verify -o ~/takes /media/card\n"
    "  two verified copies of a card on two disks, from one read of it:\n"
    "    sixjoin --verify -o /media/A/takes -o /media/B/takes /media/card\n"
    "  the same, the proof kept beside each copy as a hash list:\n"
    "    sixjoin --mhl -o /media/A/takes -o /media/B/takes /media/card\n"
    "  a take cut short, whose two files end apart:\n"
    "    sixjoin --trim take9F.WAV\n"
    "  straight into FLAC, without a file in between:\n"
    "    sixjoin -q -o - take7F.WAV | flac -o take7.flac -\n"
    "\n"
    "exit status:\n"
    "  0    the output was written in full (\"done.\"); with folders, every take\n"
    "  1    with folders: a take or a file was not joined (on any destination), none\n"
    "       was found, or the outputs would not fit a disk\n"
    "  25   the output cannot be created (its folder takes no new file), or -o -\n"
    "       onto a terminal\n"
    "  64   a wrong option\n"
    "  73   no file given\n"
    "  130  interrupted (Ctrl-C, a closed terminal)\n"
    "  255  any other stop, after its message (-1: 4294967295 in %ERRORLEVEL%)\n"
    "\n"
    "An output is written as OUTPUT.part beside it and renamed over it once whole: a\n"
    "run that stops leaves the output's name as it found it, and removes the .part\n"
    "(a killed run leaves it, for the next run to replace).\n";

// An output's path when the user gave one: that path, or, when it is a folder, the derived
// name's last component inside it.
std::string output_path(const std::string& derived, const std::string& given) {
    if (!names_folder(given)) return given;
    return inside_folder(given, std::string_view(derived).substr(last_component_start(derived)));
}

// The outputs a run writes, and the room each takes: a take that would stop, or that -u passes
// over on a destination, writes none there; nor does an output written in place. With `say`, a
// dry run's line for each take.
std::vector<PlannedOutput> plan_outputs(const std::vector<Take>& takes, const CommandLine& command, bool say) {
    std::vector<PlannedOutput> outputs;
    for (const Take& take : takes) {
        const std::optional<JoinPlan> plan = plan_quietly(take.front, take.rear, command.lengths);
        std::string line = take.front + " + " + take.rear + " -> ";
        for (const std::string& output : take.outputs) {
            const bool already = command.update && plan && already_joined(*plan, take.front, take.rear, output);
            line += output + (already ? " (already joined)" : "") + (&output == &take.outputs.back() ? "\n" : ", ");
            if (!plan || already || output == STANDARD_OUTPUT) continue;
            const Destination destination(output);
            if (!destination.in_place())
                outputs.push_back({output, plan->output_size, destination.replaced_size(), destination.leftover_size()});
        }
        if (say) report("%s", line.c_str());
    }
    return outputs;
}

// The summary's lines for what was not joined, in the run's order: the takes that stopped, the
// files without their pair, the folders that could not be read. The status of the run: 0 when
// there are none.
int report_not_joined(const std::vector<LeftOut>& stopped, const Card& card) {
    for (const std::vector<LeftOut>* list : {&stopped, &card.unpaired, &card.unreadable})
        for (const LeftOut& left : *list) complain("not joined: %s: %s\n", left.path.c_str(), left.why.c_str());
    return stopped.empty() && card.unpaired.empty() && card.unreadable.empty() ? 0 : 1;
}

// The card's room, measured before its first take: the destination folders on a file system that
// cannot hold their outputs, each said with its space: line. With one destination the card stops
// there; with several, those are dropped and the card goes on with the others.
std::vector<std::string> folders_without_room(const std::vector<SpaceNeeded>& room, bool several) {
    std::vector<std::string> dropped;
    for (const SpaceNeeded& space : room) {
        if (space.fits()) continue;
        complain_space(space);
        for (const std::string& folder : space.names) {
            if (several) complain("%s: not enough free space for the outputs!\n", folder.c_str());
            dropped.push_back(folder);
        }
    }
    if (!dropped.empty() && !several) complain("not enough free space for the outputs!\n");
    return dropped;
}

// sixjoin FOLDER...: every take in the folders, one after the other, each as a run on it alone
// would join it, going on past those that stop; then the summary. --dry-run lists them instead.
// An interruption ends the run after the summary of the takes that ran.
int join_card(const CommandLine& command) {
    for (const std::string& folder : command.files) {
        std::string failure;
        if (names_folder(folder, &failure)) continue;
        if (!failure.empty()) {
            complain("cannot read folder %s: %s!\n", folder.c_str(), failure.c_str());
            return 1;
        }
        return refuse_usage("'" + folder + "' is not a folder, as the first is", "sixjoin");
    }
    if (!command.outputs.empty() && command.files.size() > 1)
        return refuse_usage("option '-o' goes with one folder only", "sixjoin");
    if (command.outputs == std::vector<std::string>{STANDARD_OUTPUT})
        return refuse_usage("option '-o -' writes one take, and folders give many", "sixjoin");

    Card card = find_takes(command.files, command.outputs);
    const unsigned long long count = card.takes.size();  // %llu: Windows C runtimes lack %zu
    if (count == 0 && card.unpaired.empty()) {
        complain("no take found!\n");
        report_not_joined({}, card);
        return 1;
    }
    const bool several = command.outputs.size() > 1;
    const std::vector<std::string> destination_folders = command.outputs.empty() ? command.files : command.outputs;
    const std::vector<SpaceNeeded> room =
        measure_room(plan_outputs(card.takes, command, command.dry_run), destination_folders);
    HashLists hash_lists(command.hash_list ? destination_folders : std::vector<std::string>{});
    if (command.dry_run) {
        report("would join %llu of %llu takes\n", count, count);
        const int status = report_not_joined({}, card);
        for (const SpaceNeeded& space : room) report_space(space);
        return hash_lists.report_dry_run() ? status : 1;
    }
    // The whole card is measured before its first take; each take is measured again before its
    // own, as other writers may fill the disk meanwhile.
    const std::vector<std::string> dropped = folders_without_room(room, several);
    if (!dropped.empty() && (!several || dropped.size() == command.outputs.size())) return 1;
    std::vector<bool> kept;
    for (const std::string& folder : command.outputs)
        kept.push_back(std::find(dropped.begin(), dropped.end(), folder) == dropped.end());

    std::vector<LeftOut> stopped;
    unsigned long long reached = 0, joined = 0, already = 0, verified = 0;
    bool stopped_by_user = false;
    for (; !stopped_by_user && reached < count; ++reached) {
        const Take& take = card.takes[reached];
        if (interrupted()) break;  // between takes: the next one is not reached
        report("take %llu of %llu\n", reached + 1, count);
        try {
            std::deque<Destination> destinations;
            for (std::size_t at = 0; at < take.outputs.size(); ++at) {
                if (!kept.empty() && !kept[at]) continue;
                if (!command.outputs.empty()) make_folders(folder_of(take.outputs[at]));
                destinations.emplace_back(take.outputs[at]);
            }
            const Joined result = join_take(take.front, take.rear, destinations, command);
            for (const LeftOut& failure : result.failures)
                stopped.push_back({take.front, failure.path.empty() ? failure.why : failure.path + ": " + failure.why});
            joined += result.failures.empty();
            already += result.already && result.failures.empty();
            verified += result.verified;
            for (const auto& [output, hash] : result.proven) hash_lists.prove(output, hash);
        } catch (const Interrupted& stop) {
            stopped.push_back({take.front, stop.message});
            stopped_by_user = true;
        } catch (const Stop& stop) {
            stopped.push_back({take.front, stop.message});
        } catch (const std::exception& failure) {  // the take's .parts are gone with its destinations
            const std::string message = failure_message(failure);
            complain("%s\n", message.c_str());
            stopped.push_back({take.front, message});
        }
        report("\n");
    }
    if (!stopped_by_user && interrupted()) {
        complain("%s\n", INTERRUPTED_MESSAGE);
        stopped_by_user = true;
    }
    // What was proven before a stop is recorded, so that -u --mhl adds the rest later; the stop's
    // status stands either way.
    if (stopped_by_user) hash_lists.write();
    report("joined %llu of %llu takes", joined, count);
    if (already > 0) report(" (%llu already)", already);
    if (command.verify) report(", verified %llu", verified);
    report("\n");
    const int status = std::max(report_not_joined(stopped, card), dropped.empty() ? 0 : 1);
    if (!stopped_by_user) return hash_lists.write() ? status : 1;
    if (reached < count) complain("interrupted: %llu takes not reached\n", count - reached);
    return INTERRUPTED_STATUS;
}

// A usage error when two destinations name one place, through links too: places[i] is where the
// -o given[i] puts the output (for folders, the folder itself). Nothing otherwise.
std::optional<int> refuse_same_place(const std::vector<std::string>& given, const std::vector<std::string>& places) {
    for (std::size_t first = 0; first < places.size(); ++first)
        for (std::size_t second = first + 1; second < places.size(); ++second)
            if (names_same_place(places[first], places[second]))
                return refuse_usage("options '-o " + given[first] + "' and '-o " + given[second] + "' name the same place",
                                    "sixjoin");
    return std::nullopt;
}

}  // namespace

int main(int argc, char* argv[]) try {
    keep_own_console_open();
    catch_interruptions();
    const CommandLine command = read_command_line(argc, argv, "sixjoin", true);
    const bool audio_to_stdout = command.outputs == std::vector<std::string>{STANDARD_OUTPUT};
    speak_to(audio_to_stdout ? stderr : stdout, command.quiet);
    report("sixjoin - converts 2 H2 ZOOM stereo waves into true surround 6ch wave.\n"
           "v1.4 - the sixjoin developers\n\n");
    if (const std::optional<int> status = answer_without_running(command, USAGE)) return *status;
    const std::vector<std::string>& files = command.files;
    if (files.empty()) {
        complain("insufficient parameters - front [and optionally rear] wav must be given!\n");
        return 73;
    }
    if (audio_to_stdout && command.verify && !command.dry_run)
        return refuse_usage("option '--verify' reads the output back, and standard output cannot be read back",
                            "sixjoin");
    if (audio_to_stdout && command.update)
        return refuse_usage("option '-u' looks at an output file, and standard output is none", "sixjoin");
    std::string failure;
    if (names_folder(files[0], &failure)) {
        if (const std::optional<int> status = refuse_same_place(command.outputs, command.outputs)) return *status;
        return join_card(command);
    }

    // Neither a take nor a card can be told from a path the system cannot look at.
    fail_if(!failure.empty(), ("cannot read " + files[0] + ": " + failure + "!").c_str());
    const std::string& front_name = files[0];
    const std::optional<std::string> rear_name =
        files.size() == 2 ? std::optional<std::string>(files[1]) : derive_rear_name(front_name);
    std::vector<std::string> output_names;
    for (const std::string& given : command.outputs) output_names.push_back(output_path(derive_output_name(front_name), given));
    if (output_names.empty()) output_names.push_back(derive_output_name(front_name));
    if (const std::optional<int> status = refuse_same_place(command.outputs, output_names)) return *status;
    if (command.dry_run) {
        fail_if(!rear_name, "rear file not given and no auto-detect possible!");
        std::vector<std::string> folders;
        for (const std::string& name : output_names)
            if (!audio_to_stdout) folders.push_back(folder_of(name));
        const std::vector<SpaceNeeded> room =
            measure_room(plan_outputs({{front_name, *rear_name, output_names}}, command, true), folders);
        report("would join 1 of 1 takes\n");
        for (const SpaceNeeded& space : room) report_space(space);
        return HashLists(command.hash_list ? folders : std::vector<std::string>{}).report_dry_run() ? 0 : STOP_STATUS;
    }
    std::deque<Destination> destinations;
    if (audio_to_stdout) {
        if (is_terminal(stdout)) {
            complain("cannot write audio to a terminal!\n");
            return OUTPUT_NOT_CREATED;
        }
        carry_bytes_on_stdout();
        destinations.emplace_back(STANDARD_OUTPUT, stdout);
    } else {
        for (const std::string& name : output_names) destinations.emplace_back(name);
    }
    const Joined joined = join_take(front_name, rear_name, destinations, command);
    if (!command.hash_list) return joined.status;
    // The root of each output's hash list is the folder it lies in.
    std::vector<std::string> roots;
    for (const std::string& name : output_names) roots.push_back(folder_of(name));
    HashLists hash_lists(roots);
    for (const auto& [output, hash] : joined.proven) hash_lists.prove(output, hash);
    const bool listed = hash_lists.write();
    return joined.status != 0 || listed ? joined.status : STOP_STATUS;
} catch (const Interrupted&) {
    return INTERRUPTED_STATUS;
} catch (const Stop&) {
    return STOP_STATUS;
} catch (const std::exception& failure) {
    complain("%s\n", failure_message(failure).c_str());
    return STOP_STATUS;
}
