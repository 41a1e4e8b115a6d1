// sixjoin: joins the front and rear stereo files of a four-channel recording into one
// six-channel 5.1 WAVE file (front pair, silent centre and LFE, rear pair).
#include <algorithm>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "combiner/card.h"
#include "combiner/destination.h"
#include "combiner/interleave.h"
#include "combiner/names.h"
#include "combiner/read_back.h"
#include "combiner/room.h"
#include "wavefile/chunk.h"
#include "wavefile/command_line.h"
#include "wavefile/console.h"
#include "wavefile/metadata.h"
#include "wavefile/platform/console.h"
#include "wavefile/platform/files.h"
#include "wavefile/platform/signals.h"
#include "wavefile/sample_format.h"
#include "wavefile/surround_header.h"

namespace {

const char USAGE[] =
    "usage: sixjoin [-o PATH | -o -] [-t | -p] [-n] [-q] [-u] [--verify] FRONT.wav [REAR.wav]\n"
    "       sixjoin [-o FOLDER] [-t | -p] [-n] [-q] [-u] [--verify] FOLDER...\n"
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
    "  a take cut short, whose two files end apart:\n"
    "    sixjoin --trim take9F.WAV\n"
    "  straight into FLAC, without a file in between:\n"
    "    sixjoin -q -o - take7F.WAV | flac -o take7.flac -\n"
    "\n"
    "exit status:\n"
    "  0    the output was written in full (\"done.\"); with folders, every take\n"
    "  1    with folders: a take or a file was not joined, none was found, or the\n"
    "       outputs would not fit their disk\n"
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

// The output's path: the derived name, or the one the user gave; a folder given gets the
// derived name's last component inside it.
std::string output_path(const std::string& derived, const std::optional<std::string>& given) {
    if (!given) return derived;
    if (!names_folder(*given)) return *given;
    return inside_folder(*given, std::string_view(derived).substr(last_component_start(derived)));
}

// The frames to join: as many as both inputs hold, when the lengths agree; as the shorter holds
// (--trim), or as the longer holds with the shorter followed by silence (--pad), when they do not.
JoinLength join_length(std::uint64_t front_frames, std::uint64_t rear_frames, LengthRule rule) {
    const std::uint64_t frames =
        rule == LengthRule::pad ? std::max(front_frames, rear_frames) : std::min(front_frames, rear_frames);
    return {frames, std::min(frames, front_frames), std::min(frames, rear_frames)};
}

// Says what --trim or --pad did to inputs of different lengths.
void report_length_change(std::uint64_t front_frames, std::uint64_t rear_frames, LengthRule rule,
                          std::uint32_t rate) {
    if (rule == LengthRule::equal || front_frames == rear_frames) return;
    const std::uint64_t difference = front_frames > rear_frames ? front_frames - rear_frames : rear_frames - front_frames;
    const double seconds = rate == 0 ? 0.0 : static_cast<double>(difference) / rate;
    const char* longer = front_frames > rear_frames ? "front" : "rear";
    const char* shorter = front_frames > rear_frames ? "rear" : "front";
    if (rule == LengthRule::trim)
        report("trimmed:              %" PRIu64 " frames (%.3f s) of the %s dropped\n", difference, seconds, longer);
    else
        report("padded:               %" PRIu64 " frames (%.3f s) of silence after the %s\n", difference, seconds,
                    shorter);
}

// The copy moves blocks of whole frames; a stream buffer would only add a copy of each block
// and split it into two system calls.
void unbuffer(std::FILE* file) { std::setvbuf(file, nullptr, _IONBF, 0); }

constexpr int OUTPUT_NOT_CREATED = 25;  // the length of its message, as it always was
const char STANDARD_OUTPUT[] = "-";  // -o -

// What a join of two inputs writes, worked out from their chunks alone: the format, the frames,
// the carried chunks and the output's size. Reports the format and what --trim or --pad cost, and
// stops on inputs that cannot be joined. front and rear are left anywhere.
struct JoinPlan {
    SampleFormat format;
    JoinLength length;
    std::string carried;
    std::uint64_t output_size;
};

JoinPlan plan_join(std::FILE* front, std::FILE* rear, const AudioSpan& front_audio, const AudioSpan& rear_audio,
                   LengthRule lengths) {
    const SampleFormat format = read_sample_format(front, locate_chunk(front, FMT_ID));
    report("sample rate (Hz):     %u\nsample width (bits):  %u\n", format.sample_rate,
           unsigned{format.bits_per_sample});
    fail_if(format.kind == SampleKind::unsupported, "unsupported sample format!");
    fail_if(format.channels != 2, "front input is not a stereo wave file!");
    fail_if(!width_supported(format), "unsupported sample width!");
    const SampleFormat rear_format = read_sample_format(rear, locate_chunk(rear, FMT_ID));
    fail_if(rear_format.channels != 2, "rear input is not a stereo wave file!");
    fail_if(!same_samples(format, rear_format), "front and rear formats differ!");
    fail_if(lengths == LengthRule::equal && front_audio.length != rear_audio.length,
            "fatal error: quadrophonic file sizes not equal!");
    // A partial frame at the end (a recorder cut off mid-frame) is dropped, so the header
    // always matches the bytes written.
    const std::uint64_t pair_size = format.bits_per_sample / 4u;
    const std::uint64_t front_frames = front_audio.length / pair_size, rear_frames = rear_audio.length / pair_size;
    fail_if(!surround_byte_rate_fits(format), "input too large for a 6ch wave file!");
    report_length_change(front_frames, rear_frames, lengths, format.sample_rate);

    const std::vector<MetadataChunk> front_metadata = read_metadata(front, front_audio);
    const std::vector<MetadataChunk> rear_metadata = read_metadata(rear, rear_audio);
    if (time_references_differ(front_metadata, rear_metadata))
        complain("warning: front and rear time references differ!\n");
    JoinPlan plan{format, join_length(front_frames, rear_frames, lengths),
                  carried_chunks(front_metadata, rear_metadata, format), 0};
    plan.output_size = fill_surround_header(plan.length.frames * pair_size, format, plan.carried.size()).riff_size + 8;
    return plan;
}

// A take's plan, worked out quietly for what is measured ahead of its join (-u, the room on the
// disk), whose words the join itself says; nothing when the join would stop.
std::optional<JoinPlan> plan_quietly(const std::string& front_name, const std::string& rear_name, LengthRule lengths) {
    const Hush hush;
    try {
        const OwnedFile front(open_regular_file(front_name, "rb")), rear(open_regular_file(rear_name, "rb"));
        if (!front || !rear) return std::nullopt;
        const AudioSpan front_audio = locate_audio(front.get()), rear_audio = locate_audio(rear.get());
        return plan_join(front.get(), rear.get(), front_audio, rear_audio, lengths);
    } catch (const Stop&) {
        return std::nullopt;
    }
}

// Whether the output already holds the planned join, as far as can be told without reading it
// (-u): it was written no earlier than either input, and has the size the join gives it, which
// an output cut short by a crash never has.
bool already_joined(const JoinPlan& plan, const std::string& front_name, const std::string& rear_name,
                    const std::string& output_name) {
    const std::optional<FileStamp> output = file_stamp(output_name), front = file_stamp(front_name),
                                   rear = file_stamp(rear_name);
    return output && front && rear && output->modified >= front->modified && output->modified >= rear->modified &&
           output->size == plan.output_size;
}

// What became of a take that did not stop.
struct Joined {
    int status;            // what a run on this take alone ends with
    bool already = false;  // passed over by -u
    bool verified = false;
};

// The line that ends a verification: the hash of what came back from the disk, for a log.
void report_verified(const std::string& hash) { report("\nverified:             XXH3-128 %s\n", hash.c_str()); }

// Joins one take into its destination: the report, the progress bar and "done.", or the message
// that stops it (fail_if throws Stop, and what is open closes as it passes: the destination
// removes its .part, and the output keeps what it held).
Joined join_take(const std::string& front_name, const std::optional<std::string>& rear_name, Destination& destination,
                 const CommandLine& command) {
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
    fail_if(destination.overwrites(front_name) || destination.overwrites(*rear_name),
            "output file would overwrite an input file!");

    const std::optional<JoinPlan> planned = plan_quietly(front_name, *rear_name, command.lengths);
    if (command.update && planned && already_joined(*planned, front_name, *rear_name, destination.name())) {
        report("6ch output wave file: %s\nalready joined.\n", destination.name().c_str());
        destination.remove_leftover();
        if (!command.verify) return {0, true};
        // The join computed anew, compared with the output read back, and nothing written.
        report_verifying();
        fail_if(!seek_to(front.get(), front_audio.offset), "cannot read input file!");
        fail_if(!seek_to(rear.get(), rear_audio.offset), "cannot read input file!");
        ReadBack back(destination.name());
        put_surround_header(back, planned->length, planned->format, planned->carried);
        put_surround_audio(front.get(), rear.get(), back, planned->length, planned->format, COMPARED_RUN_BYTES);
        report_verified(back.finish());
        return {0, true, true};
    }
    // The room is measured before the .part is made: a disk too small is known before its first byte.
    const char* no_room = planned ? destination.room_problem(planned->output_size) : nullptr;
    if (!no_room && !destination.create()) {
        complain("%s\n", CANNOT_CREATE_OUTPUT);
        return {OUTPUT_NOT_CREATED};
    }
    report("6ch output wave file: %s\n", destination.name().c_str());

    const JoinPlan plan = plan_join(front.get(), rear.get(), front_audio, rear_audio, command.lengths);
    fail_if(no_room != nullptr, no_room);
    fail_if(!seek_to(front.get(), front_audio.offset), "cannot read input file!");
    fail_if(!seek_to(rear.get(), rear_audio.offset), "cannot read input file!");
    std::optional<OutputHash> written_hash;
    if (command.verify) written_hash.emplace();
    unbuffer(destination.file());
    OutputFile sink(destination.file(), written_hash ? &*written_hash : nullptr);
    write_surround(front.get(), rear.get(), sink, plan.length, plan.format, plan.carried);
    // With --verify the output is on its disk before "done.", and read back from it after.
    fail_if(!destination.place(command.verify), CANNOT_WRITE_OUTPUT);
    report("\ndone.\n");
    if (!command.verify) return {0};
    report_verified(verify_output(destination.name(), plan.output_size, written_hash->hex()));
    return {0, false, true};
}

// The outputs a run writes, and the room each takes: a take that would stop, or that -u passes
// over, writes none; nor does one written in place. With `say`, a dry run's line for each take.
std::vector<PlannedOutput> plan_outputs(const std::vector<Take>& takes, const CommandLine& command, bool say) {
    std::vector<PlannedOutput> outputs;
    for (const Take& take : takes) {
        const std::optional<JoinPlan> plan = plan_quietly(take.front, take.rear, command.lengths);
        const bool already = command.update && plan && already_joined(*plan, take.front, take.rear, take.output);
        if (say)
            report("%s + %s -> %s%s\n", take.front.c_str(), take.rear.c_str(), take.output.c_str(),
                   already ? " (already joined)" : "");
        if (!plan || already || take.output == STANDARD_OUTPUT) continue;
        const Destination destination(take.output);
        if (!destination.in_place())
            outputs.push_back({take.output, plan->output_size, destination.replaced_size(), destination.leftover_size()});
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

// sixjoin FOLDER...: every take in the folders, one after the other, each as a run on it alone
// would join it, going on past those that stop; then the summary. --dry-run lists them instead.
// An interruption ends the run after the summary of the takes that ran.
int join_card(const CommandLine& command) {
    for (const std::string& folder : command.files)
        if (!names_folder(folder)) return refuse_usage("'" + folder + "' is not a folder, as the first is", "sixjoin");
    if (command.output && command.files.size() > 1)
        return refuse_usage("option '-o' goes with one folder only", "sixjoin");
    if (command.output == STANDARD_OUTPUT)
        return refuse_usage("option '-o -' writes one take, and folders give many", "sixjoin");

    const Card card = find_takes(command.files, command.output);
    const unsigned long long count = card.takes.size();  // %llu: Windows C runtimes lack %zu
    if (count == 0 && card.unpaired.empty()) {
        complain("no take found!\n");
        report_not_joined({}, card);
        return 1;
    }
    const std::vector<std::string> destination_folders = command.output ? std::vector{*command.output} : command.files;
    const std::vector<SpaceNeeded> room =
        measure_room(plan_outputs(card.takes, command, command.dry_run), destination_folders);
    if (command.dry_run) {
        report("would join %llu of %llu takes\n", count, count);
        const int status = report_not_joined({}, card);
        for (const SpaceNeeded& space : room) report_space(space);
        return status;
    }
    // The whole card is measured before its first take; each take is measured again before its
    // own, as other writers may fill the disk meanwhile.
    if (std::any_of(room.begin(), room.end(), [](const SpaceNeeded& space) { return !space.fits(); })) {
        for (const SpaceNeeded& space : room)
            if (!space.fits()) complain_space(space);
        complain("not enough free space for the outputs!\n");
        return 1;
    }

    std::vector<LeftOut> stopped;
    unsigned long long reached = 0, joined = 0, already = 0, verified = 0;
    bool stopped_by_user = false;
    for (; !stopped_by_user && reached < count; ++reached) {
        const Take& take = card.takes[reached];
        if (interrupted()) break;  // between takes: the next one is not reached
        report("take %llu of %llu\n", reached + 1, count);
        if (command.output) make_folders(take.output.substr(0, last_component_start(take.output)));
        try {
            Destination destination(take.output);
            const Joined result = join_take(take.front, take.rear, destination, command);
            if (result.status != 0) {
                stopped.push_back({take.front, CANNOT_CREATE_OUTPUT});
            } else {
                ++joined;
                already += result.already;
                verified += result.verified;
            }
        } catch (const Interrupted& stop) {
            stopped.push_back({take.front, stop.message});
            stopped_by_user = true;
        } catch (const Stop& stop) {
            stopped.push_back({take.front, stop.message});
        }
        report("\n");
    }
    if (!stopped_by_user && interrupted()) {
        complain("%s\n", INTERRUPTED_MESSAGE);
        stopped_by_user = true;
    }
    report("joined %llu of %llu takes", joined, count);
    if (already > 0) report(" (%llu already)", already);
    if (command.verify) report(", verified %llu", verified);
    report("\n");
    const int status = report_not_joined(stopped, card);
    if (!stopped_by_user) return status;
    if (reached < count) complain("interrupted: %llu takes not reached\n", count - reached);
    return INTERRUPTED_STATUS;
}

}  // namespace

int main(int argc, char* argv[]) try {
    keep_own_console_open();
    catch_interruptions();
    const CommandLine command = read_command_line(argc, argv, "sixjoin", true);
    const bool audio_to_stdout = command.output == STANDARD_OUTPUT;
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
    if (names_folder(files[0])) return join_card(command);

    const std::string& front_name = files[0];
    const std::optional<std::string> rear_name =
        files.size() == 2 ? std::optional<std::string>(files[1]) : derive_rear_name(front_name);
    const std::string output_name = output_path(derive_output_name(front_name), command.output);
    if (command.dry_run) {
        fail_if(!rear_name, "rear file not given and no auto-detect possible!");
        const std::vector<SpaceNeeded> room =
            measure_room(plan_outputs({{front_name, *rear_name, output_name}}, command, true),
                         audio_to_stdout ? std::vector<std::string>{} : std::vector{folder_of(output_name)});
        report("would join 1 of 1 takes\n");
        for (const SpaceNeeded& space : room) report_space(space);
        return 0;
    }
    if (!audio_to_stdout) {
        Destination destination(output_name);
        return join_take(front_name, rear_name, destination, command).status;
    }
    if (is_terminal(stdout)) {
        complain("cannot write audio to a terminal!\n");
        return OUTPUT_NOT_CREATED;
    }
    carry_bytes_on_stdout();
    Destination destination(STANDARD_OUTPUT, stdout);
    return join_take(front_name, rear_name, destination, command).status;
} catch (const Interrupted&) {
    return INTERRUPTED_STATUS;
} catch (const Stop&) {
    return STOP_STATUS;
}
