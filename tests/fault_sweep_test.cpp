// Every system call a join makes, failed in turn: one run for each call of each kind, under
// strace's fault injection. Whatever fails, the run ends by itself, never by a signal or a hang;
// the inputs stay as they were; each output's name holds the whole join or just what it held
// before; no .part is left; status 0 comes only with every output whole, and with --verify never
// after a failed flush or read-back; any other status comes with a message. A thread that cannot
// start changes nothing a user sees.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "program_runner.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

// The files of a row, built as it runs: rows this long would cost every test process the time.
struct SweepFiles {
    std::vector<std::pair<std::string, Bytes>> inputs;
    std::vector<std::pair<std::string, Bytes>> outputs;  // each must end whole or as it was before
    std::vector<std::pair<std::string, Bytes>> before;   // what some output names held, a day old
    std::vector<std::string> folders;                    // folders that exist before the run
};

struct SweepCase {
    const char* name;
    SweepFiles (*files)();
    std::vector<std::string> args;  // "@" stands for the run's folder
    bool from_disk = false;  // the inputs dropped from the cache before each run: the reader thread runs
};

// The kind of call failed, and the error it fails with.
struct Fault {
    const char* call;
    const char* error;
};
const Fault FAULTS[] = {{"openat", "EACCES"},    {"read", "EIO"},        {"pread64", "EIO"},   {"preadv2", "EIO"},
                        {"write", "ENOSPC"},     {"pwrite64", "ENOSPC"}, {"close", "EIO"},     {"fsync", "EIO"},
                        {"fdatasync", "EIO"},    {"rename", "EACCES"},   {"newfstatat", "EIO"}, {"statx", "EIO"},
                        {"statfs", "EIO"},       {"lseek", "EIO"},       {"unlink", "EACCES"}, {"getdents64", "EIO"},
                        {"mkdir", "EACCES"},     {"clone3", "EAGAIN"},   {"mmap", "ENOMEM"}};
// Calls counted over the whole program, not only those on the run's files; mmap from the
// program's start on, the dynamic loader's own being no part of it.
bool whole_program(const std::string& call) { return call == "clone3" || call == "mmap"; }

const fs::file_time_type DAY_BEFORE = fs::file_time_type::clock::now() - std::chrono::hours(24);
const std::string BANNER_END = "the sixjoin developers\n\n";
constexpr std::size_t AUDIO = 2560 * 1024;  // bytes of each input: two pieces from the disk, two read-back blocks

SweepFiles single_take() {
    const Bytes front = pattern(AUDIO, 61), rear = pattern(AUDIO, 62);
    return {{{"takeF.wav", stereo_wave(48000, 16, front)}, {"takeR.wav", stereo_wave(48000, 16, rear)}},
            {{"takeF-6ch.wav", six_channel_wave(48000, 16, front, rear)}},
            {{"takeF-6ch.wav", Bytes(300, 9)}},
            {}};
}

// Two takes in two folders of a card, for two destinations; one output name already holds an
// older file.
SweepFiles card() {
    SweepFiles files{{}, {}, {{"A/F1/SR001F-6ch.wav", Bytes(500, 7)}}, {"A", "B"}};
    unsigned seed = 70;
    for (const std::string take : {"F1/SR001", "F2/SR002"}) {
        const Bytes front = pattern(AUDIO / 2, ++seed), rear = pattern(AUDIO / 2, ++seed);
        files.inputs.push_back({"card/" + take + "F.wav", stereo_wave(44100, 16, front)});
        files.inputs.push_back({"card/" + take + "R.wav", stereo_wave(44100, 16, rear)});
        for (const char* root : {"A/", "B/"})
            files.outputs.push_back({root + take + "F-6ch.wav", six_channel_wave(44100, 16, front, rear)});
    }
    return files;
}

const std::vector<std::string> TAKE = {"-o", "@/takeF-6ch.wav", "@/takeF.wav"};
const std::vector<std::string> VERIFIED_TAKE = {"--verify", "-o", "@/takeF-6ch.wav", "@/takeF.wav"};
const std::vector<std::string> CARD = {"--verify", "-o", "@/A", "-o", "@/B", "@/card"};
const std::vector<std::string> LISTED_TAKE = {"--mhl", "-o", "@/takeF-6ch.wav", "@/takeF.wav"};
const SweepCase SWEEP_CASES[] = {
    {"a take", single_take, TAKE},
    {"a take from the disk", single_take, TAKE, true},
    {"a take verified", single_take, VERIFIED_TAKE},
    {"a take verified from the disk", single_take, VERIFIED_TAKE, true},
    {"a take with its hash list", single_take, LISTED_TAKE},
    {"a card onto two destinations verified", card, CARD},
    {"a card onto two destinations verified from the disk", card, CARD, true},
};

// Puts the run's folder back as it was before any run: the inputs, the folders, and the older
// outputs with their date; whatever a run made is gone.
void lay_out(const fs::path& dir, const SweepFiles& c, bool from_disk) {
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.path().filename() != "card" && !entry.path().filename().string().starts_with("take"))
            fs::remove_all(entry.path());
    std::vector<fs::path> made;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        const std::string relative = fs::relative(entry.path(), dir).string();
        const bool input = std::any_of(c.inputs.begin(), c.inputs.end(), [&](const auto& in) { return in.first == relative; });
        if (entry.is_regular_file() && !input) made.push_back(entry.path());
    }
    for (const fs::path& path : made) fs::remove(path);
    for (const auto& [name, bytes] : c.inputs)
        if (!fs::exists(dir / name)) {
            fs::create_directories((dir / name).parent_path());
            write_file(dir / name, bytes);
        }
    for (const std::string& folder : c.folders) fs::create_directories(dir / folder);
    for (const auto& [name, bytes] : c.before) {
        fs::create_directories((dir / name).parent_path());
        write_file(dir / name, bytes);
        fs::last_write_time(dir / name, DAY_BEFORE);
    }
    if (!from_disk) return;
    for (const auto& [name, bytes] : c.inputs) {
        const int file = open((dir / name).c_str(), O_RDONLY);
        ASSERT_GE(file, 0);
        fsync(file);
        posix_fadvise(file, 0, 0, POSIX_FADV_DONTNEED);
        close(file);
    }
}

std::vector<std::string> args_in(const SweepCase& c, const fs::path& dir) {
    std::vector<std::string> args;
    for (std::string arg : c.args) {
        if (arg.starts_with("@")) arg = dir.string() + arg.substr(1);
        args.push_back(arg);
    }
    return args;
}

// The first manifest of a hash list at dir that a run starting now may write, and its .part: its
// name holds the second it is made in.
std::vector<std::string> manifests_made_soon(const fs::path& dir) {
    std::vector<std::string> names;
    const std::time_t now = std::time(nullptr);
    for (std::time_t second = now; second < now + 3; ++second) {
        std::tm utc{};
        gmtime_r(&second, &utc);
        char name[64];
        std::snprintf(name, sizeof name, "_%04d-%02d-%02d_%02d%02d%02dZ.mhl", utc.tm_year + 1900, utc.tm_mon + 1,
                      utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
        const std::string manifest = (dir / "ascmhl" / ("0001_" + dir.filename().string() + name)).string();
        names.insert(names.end(), {manifest, manifest + ".part"});
    }
    return names;
}

// The run under strace: `trace` names the calls logged, `paths` (each a -P) limits them to those
// on these files and folders, and `inject` fails one of them. A hang is killed after a minute.
RunResult traced_run(const SweepCase& c, const fs::path& dir, const fs::path& log, const std::string& trace,
                     const std::vector<std::string>& paths, const std::string& inject = "") {
    std::vector<std::string> args = {"-s", "KILL", "60", "/usr/bin/strace", "-f", "-y", "-qq", "-o", log.string(),
                                     "-e", "trace=" + trace};
    for (const std::string& path : paths) args.insert(args.end(), {"-P", path});
    if (!paths.empty())
        for (const std::string& path : manifests_made_soon(dir)) args.insert(args.end(), {"-P", path});
    if (!inject.empty()) args.insert(args.end(), {"-e", "inject=" + inject});
    args.push_back(SIXJOIN_PATH);
    for (const std::string& arg : args_in(c, dir)) args.push_back(arg);
    return run_program("/usr/bin/timeout", args, dir);
}

// Console text with the second a hash list's manifest is named after left out.
std::string without_time(const std::string& console) {
    static const std::regex stamp("_[0-9]{4}-[0-9]{2}-[0-9]{2}_[0-9]{6}Z\\.mhl");
    return std::regex_replace(console, stamp, "_TIME.mhl");
}

std::vector<std::string> lines_of(const fs::path& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// How many calls of `call` each thread of a logged run made: the most any made, less, for the
// main thread, those before `after`'s first line (the loader's).
std::pair<int, int> call_range(const std::vector<std::string>& log, const std::string& call, const std::string& after) {
    std::map<std::string, int> made;
    std::string main_thread;
    int skipped = 0;
    bool started = after.empty();
    for (const std::string& line : log) {
        const std::string thread = line.substr(0, line.find(' '));
        if (main_thread.empty()) main_thread = thread;
        if (thread == main_thread && !started && line.find(after) != std::string::npos) started = true;
        const std::size_t name = line.find_first_not_of(' ', thread.size());
        if (line.compare(name, call.size() + 1, call + "(") != 0) continue;
        ++made[thread];
        if (thread == main_thread && !started) ++skipped;
    }
    int most = 0;
    for (const auto& [thread, count] : made) most = std::max(most, count);
    return {skipped + 1, most};
}

class FaultSweep : public ::testing::TestWithParam<std::tuple<SweepCase, Fault>> {};

TEST_P(FaultSweep, EveryCallFailedInTurn) {
    const auto& [row, fault] = GetParam();
    const SweepCase& c = row;
    const SweepFiles files = c.files();
    if (windows_programs() || !installed("strace") || !installed("timeout"))
        GTEST_SKIP() << "the sweep needs strace and a native build: it did not run";
    TempDir dir, logs;
    lay_out(dir.path(), files, c.from_disk);
    const std::string call = fault.call;

    // A clean run: the console every thread-less run must match, and the files and folders whose
    // calls are counted.
    const RunResult clean = traced_run(c, dir.path(), logs / "clean.txt", "none", {});
    ASSERT_EQ(clean.status, 0) << clean.out << clean.err;
    std::vector<std::string> paths = {dir.path().string()};
    for (const auto& entry : fs::recursive_directory_iterator(dir.path())) paths.push_back(entry.path().string());
    for (const auto& [name, bytes] : files.outputs) paths.push_back((dir / (name + ".part")).string());
    for (const char* made : {"ascmhl", "ascmhl/ascmhl_chain.xml", "ascmhl/ascmhl_chain.xml.part"})
        paths.push_back((dir / made).string());
    lay_out(dir.path(), files, c.from_disk);
    const std::vector<std::string> counted = whole_program(call) ? std::vector<std::string>{} : paths;
    traced_run(c, dir.path(), logs / "count.txt", call + ",rt_sigaction", counted);
    const auto [first, last] = call_range(lines_of(logs / "count.txt"), call, whole_program(call) ? "rt_sigaction(SIGINT" : "");

    for (int when = first; when <= last; ++when) {
        lay_out(dir.path(), files, c.from_disk);
        const fs::path log = logs / ("run" + std::to_string(when) + ".txt");
        const RunResult run = traced_run(c, dir.path(), log, call, counted,
                                         call + ":error=" + fault.error + ":when=" + std::to_string(when));
        std::string failed;
        for (const std::string& line : lines_of(log))
            if (line.ends_with("(INJECTED)")) failed += line + "\n";
        const std::string where = call + " #" + std::to_string(when) + " failed:\n" + failed + run.out + run.err;
        if (failed.empty()) continue;  // this call is not made on every run

        ASSERT_TRUE(run.status < 1000 && run.status != 137) << "killed or hung (" << run.status << ") when " << where;
        for (const auto& [name, bytes] : files.inputs) ASSERT_TRUE(same_bytes(bytes, read_file(dir / name))) << name << " " << where;
        bool all_whole = true;
        for (const auto& expected : files.outputs) {
            const std::string& name = expected.first;
            const Bytes& whole = expected.second;
            const fs::path output = dir / name;
            const auto before =
                std::find_if(files.before.begin(), files.before.end(), [&](const auto& b) { return b.first == name; });
            const bool is_whole = fs::exists(output) && read_file(output) == whole;
            all_whole = all_whole && is_whole;
            if (is_whole) continue;
            if (before == files.before.end()) {
                EXPECT_FALSE(fs::exists(output)) << name << " is neither whole nor absent when " << where;
            } else {
                EXPECT_TRUE(same_bytes(before->second, read_file(output))) << name << " " << where;
                EXPECT_EQ(fs::last_write_time(output), DAY_BEFORE) << name << " was touched when " << where;
            }
        }
        const bool removal_failed = call == "unlink" && failed.find(".part") != std::string::npos;
        for (const auto& entry : fs::recursive_directory_iterator(dir.path()))
            EXPECT_TRUE(entry.path().extension() != ".part" || removal_failed) << entry.path() << " left when " << where;
        const std::string said = run.out.substr(std::min(run.out.size(), run.out.find(BANNER_END) + BANNER_END.size()));
        if (run.status == 0) EXPECT_TRUE(all_whole) << "status 0 without every output whole when " << where;
        else EXPECT_NE(said.find('!'), std::string::npos) << "no message when " << where;
        const bool verify = std::find(c.args.begin(), c.args.end(), "--verify") != c.args.end();
        const bool flush_failed = call == "fsync" || call == "fdatasync";
        const bool read_back_failed = failed.find("O_DIRECT") != std::string::npos ||
                                      (call == "read" && failed.find("6ch.wav>") != std::string::npos);
        if (verify && (flush_failed || read_back_failed)) {
            EXPECT_NE(run.status, 0) << where;
        }
        // A card folder the system cannot look at is the card's fault, never the user's typing.
        if ((call == "newfstatat" || call == "statx") && failed.find("/card\"") != std::string::npos &&
            said.find("take 1 of") == std::string::npos) {
            EXPECT_NE(said.find("cannot read"), std::string::npos) << where;
            EXPECT_EQ(said.find("see sixjoin --help"), std::string::npos) << where;
        }
        // A chain names only manifests that are there.
        if (fs::exists(dir / "ascmhl/ascmhl_chain.xml")) {
            const Bytes chain = read_file(dir / "ascmhl/ascmhl_chain.xml");
            const std::string text(chain.begin(), chain.end());
            for (std::size_t at = 0; (at = text.find("<path>", at)) != std::string::npos; ++at) {
                const std::string manifest = text.substr(at + 6, text.find("</path>", at) - at - 6);
                EXPECT_TRUE(fs::exists(dir / "ascmhl" / manifest)) << manifest << " is not there when " << where;
            }
        }
        if (call == "clone3") {
            EXPECT_EQ(run.status, clean.status) << where;
            EXPECT_EQ(without_time(run.out), without_time(clean.out)) << where;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Calls, FaultSweep, ::testing::Combine(::testing::ValuesIn(SWEEP_CASES), ::testing::ValuesIn(FAULTS)),
                         [](const auto& info) {
                             return test_name(std::string(std::get<0>(info.param).name) + " " +
                                              std::get<1>(info.param).call);
                         });

void PrintTo(const SweepCase& c, std::ostream* out) { *out << c.name; }
void PrintTo(const Fault& fault, std::ostream* out) { *out << fault.call; }

}  // namespace
