// sixjoin end to end: status, console text and the bytes of every file after the run.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <thread>
#include <tuple>


#include "combiner/output_hash.h"
#include "combiner/run_reader.h"
#include "program_runner.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

const std::string BANNER =
    "sixjoin - converts 2 H2 ZOOM stereo waves into true surround 6ch wave.\n"
    "v1.4 - the sixjoin developers\n\n";

std::string names(const std::string& front, const std::string& rear = "", const std::string& output = "") {
    std::string text = "front wave file:      " + front + "\n";
    if (!rear.empty()) text += "rear wave file:       " + rear + "\n";
    if (!output.empty()) text += "6ch output wave file: " + output + "\n";
    return text;
}

std::string format(std::uint32_t rate, std::uint32_t bits) {
    return "sample rate (Hz):     " + std::to_string(rate) + "\nsample width (bits):  " + std::to_string(bits) + "\n";
}

std::vector<std::string> joined_args(std::vector<std::string> first, const std::vector<std::string>& more) {
    first.insert(first.end(), more.begin(), more.end());
    return first;
}

// Frames at a rate, as the --trim and --pad lines give them.
std::string seconds_text(std::uint64_t frames, std::uint32_t rate) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", static_cast<double>(frames) / rate);
    return text;
}

std::string ruler(std::uint64_t riff_size) {
    return "writing " + std::to_string(riff_size) + " bytes...\n\n0%---------------------50%--------------------100%\n";
}

std::string progress(std::uint64_t riff_size, std::size_t marks) {
    return ruler(riff_size) + std::string(marks, '>') + "\ndone.\n";
}

const std::string PAIR = names("takeF.wav", "takeR.wav", "takeF-6ch.wav");
// How the programs join a folder and a name.
const char SEPARATOR = windows_programs() ? '\\' : '/';

struct JoinCase {
    const char* name;
    std::vector<std::pair<std::string, Bytes>> inputs;  // must be unchanged by the run
    std::vector<std::string> args;
    int status;
    std::string console;  // after the banner
    std::optional<Bytes> output;  // of takeF-6ch.wav; nullopt: not created
    std::function<void(const fs::path&)> setup = nullptr;
    bool check_output = true;
    unsigned long long file_size_limit = NO_FILE_SIZE_LIMIT;  // when set, the output is a prefix of `output`
    std::string output_at = "takeF-6ch.wav";
    std::vector<std::string> environment = {};  // NAME=value, added for the run
    std::function<void(JoinCase&)> build = nullptr;  // fills inputs and output as the row runs
    std::vector<std::pair<std::string, Bytes>> outputs = {};  // further files the run must leave
    bool quiet = false;            // -q: no banner before the console text
    bool audio_on_stdout = false;  // -o -: `output` is standard output, and the console standard error
    std::string pipe_to = "";      // a shell command reading standard output; the output is a prefix of `output`
    // A disk that lies, mounted at "disk" (its store "disk-store", its log "disk.log") with these
    // options of rotting_disk.py; Linux only, and only where FUSE is.
    std::optional<std::string> disk = std::nullopt;
    // A signal sent to the program's process group, as a terminal sends Ctrl-C, once the console
    // holds interrupt_after and then 25 marks; the program must be gone soon after.
    int interrupt = 0;
    std::string interrupt_after = "";
    std::function<void(const fs::path&)> check = nullptr;  // further checks of the files after the run
    std::vector<std::string> parts_left = {};  // the .part files a kill leaves; any other is a fault
    std::optional<std::string> second_disk = std::nullopt;  // another disk that lies, at "disk2", logging to "disk.log"
    std::optional<std::uint64_t> small_disk = std::nullopt;  // a tmpfs of this size at "small", before anything is written
    std::vector<std::string> wrapper = {};  // the full path and arguments of a command it runs under (strace); Linux only
};

const Bytes FRONT = pattern(400, 1);
const Bytes REAR = pattern(400, 2);
const Bytes FMT16 = chunk("fmt ", pcm_fmt(2, 44100, 16));
constexpr std::uint64_t OVER_4_GIB = 0x100001000;  // bytes of 16-bit audio

std::vector<std::pair<std::string, Bytes>> pair_of(const Bytes& front, const Bytes& rear) {
    return {{"takeF.wav", front}, {"takeR.wav", rear}};
}
// A 16-bit pair named as a recorder would: <take>F.wav and <take>R.wav.
std::vector<std::pair<std::string, Bytes>> pair_of_named(const std::string& take, const Bytes& front, const Bytes& rear) {
    return {{take + "F.wav", stereo_wave(44100, 16, front)}, {take + "R.wav", stereo_wave(44100, 16, rear)}};
}
const auto STANDARD = pair_of(stereo_wave(44100, 16, FRONT), stereo_wave(44100, 16, REAR));
const Bytes STANDARD_OUT = six_channel_wave(44100, 16, FRONT, REAR);

// A stereo file whose data chunk declares declared_size and whose file holds audio after it.
Bytes declaring(std::uint32_t declared_size, const Bytes& audio, const Bytes& after = {}) {
    return riff_wave({FMT16, chunk_declaring("data", declared_size, audio), after});
}

// An extensible stereo file, as editors write them.
Bytes ext_wave(std::uint32_t bits, std::uint32_t sub_tag, const Bytes& audio, std::uint32_t rate = 48000) {
    return riff_wave({chunk("fmt ", extensible_fmt(2, rate, bits, 3, sub_tag)), chunk("data", audio)});
}

// A take of length bytes of audio that holds `start` at its start and zeros after it, sparse,
// with the chunks `before` ahead of its "fmt ".
void make_sparse_take(const fs::path& path, std::uint64_t length, const Bytes& start, const Bytes& before = {}) {
    const Bytes head = riff_wave({before, FMT16, chunk_declaring("data", 0, {})});
    write_file(path, joined(head, start));
    fs::resize_file(path, head.size() + length);
}

// The first 4 KiB of the RF64 file that two such takes give, and more.
Bytes rf64_start(std::uint64_t length, Bytes front, Bytes rear, const Bytes& carried = {}) {
    front.resize(4096);
    rear.resize(4096);
    return big_wave("RF64", {ds64_chunk(3 * length + 96 + carried.size(), 3 * length, 3 * length / 12),
                             chunk("fmt ", extensible_fmt(6, 44100, 16, 0x3F)), carried,
                             chunk_declaring("data", 0xFFFFFFFF, six_channel_audio(16, front, rear))});
}

// The metadata a recorder writes about a take, and what the joined file carries of it.
constexpr std::uint64_t ONE_AM = 172800000;  // samples at 48 kHz
const std::string H2N_HISTORY = "A=PCM,F=44100,W=16,M=stereo,T=H2n\r\n";
const std::string JOIN_ROW = "A=PCM,F=44100,W=16,T=sixjoin 1.4\r\n";
const Bytes BEXT = chunk("bext", bext_body(ONE_AM, H2N_HISTORY));
const Bytes JOINED_BEXT = chunk("bext", bext_body(ONE_AM, H2N_HISTORY + JOIN_ROW));

// The TRACK_LIST of a joined file.
std::string six_tracks(std::initializer_list<std::string_view> names) { return track_list(names, ""); }

// The title of the take.
const Bytes INFO = chunk("LIST", joined(text_bytes("INFO"), chunk("INAM", text_bytes(std::string("Forest 12/3", 12)))));

// A take whose fmt and data chunks lie past 2 GiB, after a sparse chunk of 2.25 GiB.
void make_take_past_2_gib(const fs::path& path, const Bytes& audio) {
    constexpr std::uint32_t skipped = 0x90000000;
    Bytes head;
    append_text(head, "RIFF");
    append_le32(head, 0xFFFFFFFF);
    append_text(head, "WAVE");
    append(head, chunk_declaring("junk", skipped, {}));
    Bytes tail = FMT16;
    append(tail, chunk("data", audio));
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(head.data()), static_cast<std::streamsize>(head.size()));
    file.seekp(static_cast<std::streamoff>(head.size()) + skipped);
    file.write(reinterpret_cast<const char*>(tail.data()), static_cast<std::streamsize>(tail.size()));
}

// Builds, as its row runs, a pair of long inputs of these lengths (16-bit unless said) and, for
// a row that checks it, the file of joined_length bytes of each: rows this long would cost every
// test process the time to build them. A shorter input is followed by silence in the output.
std::function<void(JoinCase&)> long_pair(std::size_t front_length, std::size_t rear_length, std::size_t joined_length,
                                         std::uint32_t bits = 16, std::uint32_t tag = PCM) {
    return [=](JoinCase& c) {
        Bytes front = pattern(front_length, 21), rear = pattern(rear_length, 22);
        c.inputs = pair_of(stereo_wave(44100, bits, front, tag), stereo_wave(44100, bits, rear, tag));
        const unsigned char silence = bits == 8 ? 0x80 : 0;
        front.resize(joined_length, silence);
        rear.resize(joined_length, silence);
        if (c.output) c.output = six_channel_wave(44100, bits, front, rear, tag);
    };
}

const std::string VERIFYING = "verifying...\n\n0%---------------------50%--------------------100%\n";
// What --verify adds after "done.": the bar of the read-back and the hash of what came back,
// which xxh128sum must give for the file too.
std::string verified(const Bytes& output) {
    OutputHash hash;
    hash.add(output.data(), output.size());
    return VERIFYING + std::string(50, '>') +
           "\nverified:             XXH3-128 " + hash.hex() + "\n";
}
const std::string DOES_NOT_READ_BACK_LINE = "output file does not read back as written!\n";

// What stands for the hash of a join a row builds as it runs, in its console.
const char JOIN_HASH[] = "JOIN_HASH";
// --verify's lines after "done." for a join a row builds as it runs.
const std::string VERIFIED_JOIN = VERIFYING + std::string(50, '>') + "\nverified:             XXH3-128 " + JOIN_HASH + "\n";

// Builds, as its row runs, a 16-bit pair of `length` bytes a file for each of `takes` (their
// fronts <take>F.wav, rears <take>R.wav), their join as the row's output (when it holds the
// placeholder Bytes{}) and as each of `joined_at`, and the join's hash
// in place of JOIN_HASH in the console: files this long would cost every test process (built
// with the table, copied with each row, under the sanitizers) the time to build them.
std::function<void(JoinCase&)> long_takes(std::vector<std::string> takes, std::size_t length,
                                          std::vector<std::string> joined_at = {}) {
    return [=](JoinCase& c) {
        const Bytes front = pattern(length, 41), rear = pattern(length, 42);
        for (const std::string& take : takes)
            for (const auto& file : pair_of_named(take, front, rear)) c.inputs.push_back(file);
        const Bytes out = six_channel_wave(44100, 16, front, rear);
        if (c.output && c.output->empty()) c.output = out;  // Bytes{}: the join, built here
        for (const std::string& name : joined_at) c.outputs.push_back({name, out});
        OutputHash hash;
        hash.add(out.data(), out.size());
        for (std::size_t at; (at = c.console.find(JOIN_HASH)) != std::string::npos;)
            c.console.replace(at, std::string(JOIN_HASH).size(), hash.hex());
    };
}
// The size of that join.
constexpr std::uint64_t joined_size(std::uint64_t length) { return 68 + 3 * length; }


// The first 4 KiB of the WAVE file that two sparse takes of `length` bytes give.
Bytes wave_start(std::uint64_t length, Bytes front, Bytes rear) {
    front.resize(4096);
    rear.resize(4096);
    Bytes start = six_channel_wave(44100, 16, front, rear);
    start.resize(4096);
    for (const auto& [at, size] : {std::pair<std::size_t, std::uint64_t>{4, 3 * length + 60}, {64, 3 * length}})
        for (int i = 0; i < 4; ++i) start[at + i] = static_cast<unsigned char>(size >> (8 * i));
    return start;
}

// An output as an earlier run left it, dated a day before the run, so that a run that touches it shows.
const fs::file_time_type DAY_BEFORE = fs::file_time_type::clock::now() - std::chrono::hours(24);
void write_old(const fs::path& path, const Bytes& bytes) {
    fs::create_directories(path.parent_path());
    write_file(path, bytes);
    fs::last_write_time(path, DAY_BEFORE);
}
std::function<void(const fs::path&)> old_output(const std::string& name, const Bytes& bytes) {
    return [=](const fs::path& dir) { write_old(dir / name, bytes); };
}
std::function<void(const fs::path&)> kept_date(const std::string& name) {
    return [=](const fs::path& dir) { EXPECT_EQ(fs::last_write_time(dir / name), DAY_BEFORE) << name << " was touched"; };
}

// The free space of a "space:" line as F: what a disk has free is the machine's.
std::string any_free_space(const std::string& console) {
    std::string kept;
    std::size_t at = 0;
    for (std::size_t line = console.find("space: "); line != std::string::npos; line = console.find("space: ", line + 1)) {
        const std::size_t free = console.find(" free\n", line), number = console.rfind(", ", free);
        if (free == std::string::npos || number == std::string::npos || number < line) continue;
        kept += console.substr(at, number + 2 - at) + "F";
        at = free;
    }
    return kept + console.substr(at);
}

// Marks of a progress bar, however many: where an interruption cuts the bar is the machine's.
std::string any_marks(const std::string& console) {
    std::string kept;
    for (std::size_t at = 0; at < console.size(); ++at)
        if (console[at] != '>' || at == 0 || console[at - 1] != '>') kept += console[at];
    return kept;
}

// The file system that lies, mounted for one row and unmounted at its end.
class RottingDisk {
public:
    RottingDisk(const fs::path& dir, const std::string& options, const std::string& name = "disk")
        : mount_(dir / name) {
        fs::create_directories(dir / (name + "-store"));
        fs::create_directories(mount_);
        const std::string command = "/usr/bin/python3 '" ROTTING_DISK "' '" + (dir / (name + "-store")).string() + "' '" +
                                    mount_.string() + "' --log '" + (dir / "disk.log").string() + "' " + options +
                                    " >/dev/null 2>&1 &";
        if (std::system(command.c_str()) != 0) return;
        for (int tries = 0; tries < 100 && !mounted_; ++tries) {
            mounted_ = std::system(("mountpoint -q '" + mount_.string() + "'").c_str()) == 0;
            if (!mounted_) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    ~RottingDisk() {
        if (mounted_) std::system(("fusermount -u '" + mount_.string() + "'").c_str());
    }
    bool mounted() const { return mounted_; }

    // What is missing for it, or nothing.
    static std::string missing() {
        if (windows_programs()) return "a native build";
        if (!fs::exists("/dev/fuse")) return "/dev/fuse";
        if (geteuid() != 0) return "root";
        if (std::system("/usr/bin/python3 -c 'import fuse' 2>/dev/null") != 0) return "python3-fuse";
        if (!installed("fusermount")) return "fuse3";
        return "";
    }

private:
    fs::path mount_;
    bool mounted_ = false;
};

// A small disk: a tmpfs of `bytes` at "small", unmounted at the row's end.
class SmallDisk {
public:
    SmallDisk(const fs::path& dir, std::uint64_t bytes) : mount_(dir / "small") {
        fs::create_directories(mount_);
        mounted_ = std::system(("mount -t tmpfs -o size=" + std::to_string(bytes) + " tmpfs '" + mount_.string() +
                                "' 2>/dev/null").c_str()) == 0;
    }
    ~SmallDisk() {
        if (mounted_) std::system(("umount '" + mount_.string() + "'").c_str());
    }
    bool mounted() const { return mounted_; }

private:
    fs::path mount_;
    bool mounted_ = false;
};

// The lines of the disk's log, in order.
std::vector<std::string> log_lines(const fs::path& log) {
    std::vector<std::string> lines;
    std::ifstream in(log);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The read-back starts after the flush: the .part is flushed, then renamed, then the output read.
void flushed_before_read_back(const fs::path& dir) {
    const std::vector<std::string> lines = log_lines(dir / "disk.log");
    const auto first_read = std::find_if(lines.begin(), lines.end(),
                                         [](const std::string& line) { return line.starts_with("read /takeF-6ch.wav"); });
    ASSERT_NE(first_read, lines.end()) << "the output was never read back";
    const auto renamed = std::find(lines.begin(), first_read, "rename /takeF-6ch.wav.part /takeF-6ch.wav");
    ASSERT_NE(renamed, first_read) << "read back before the .part was renamed";
    EXPECT_NE(std::find(lines.begin(), renamed, "fsync /takeF-6ch.wav.part"), renamed) << "renamed before it was flushed";
}

// The hash list of generation `generation` at dir/root: its manifest and chain valid against the
// ASC's schemas, the manifest listing exactly `listed` (each path under the root with its action),
// each with the file's size and its xxh128sum hash, and the chain naming it with its C4 ID, which
// Python's hashlib computes here.
void check_hash_list(const fs::path& dir, const std::string& root, unsigned generation,
                     const std::vector<std::pair<std::string, std::string>>& listed) {
    const fs::path folder = dir / root / "ascmhl";
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "%04u_", generation);
    std::vector<fs::path> manifests;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().filename().string().starts_with(prefix)) manifests.push_back(entry.path());
    ASSERT_EQ(manifests.size(), 1u) << "generation " << generation << " in " << folder;
    const fs::path manifest = manifests[0], chain = folder / "ascmhl_chain.xml";
    if (fs::exists(SHARED_MHL "/ASCMHL.xsd") && installed("xmllint")) {
        for (const auto& [file, schema] : {std::pair{manifest, "ASCMHL.xsd"}, {chain, "ASCMHLDirectory.xsd"}})
            EXPECT_EQ(std::system(("xmllint --noout --schema '" SHARED_MHL "/" + std::string(schema) + "' '" +
                                   file.string() + "' 2>/dev/null").c_str()),
                      0)
                << file << " is not valid against " << schema;
    } else {
        std::printf("hash list not validated: needs xmllint and the schemas in " SHARED_MHL "\n");
    }
    const Bytes manifest_bytes = read_file(manifest), chain_bytes = read_file(chain);
    const std::string text(manifest_bytes.begin(), manifest_bytes.end()), chained(chain_bytes.begin(), chain_bytes.end());
    std::size_t hashes = 0;
    for (std::size_t at = 0; (at = text.find("<hash>", at)) != std::string::npos; ++at) ++hashes;
    EXPECT_EQ(hashes, listed.size()) << text;
    for (const auto& [path, action] : listed) {
        const fs::path file = dir / root / fs::path(std::u8string(path.begin(), path.end()));
        std::string escaped;
        for (const char c : path) escaped += c == '&' ? "&amp;" : c == '<' ? "&lt;" : c == '>' ? "&gt;" : std::string(1, c);
        const std::size_t at = text.find("\">" + escaped + "</path>");
        ASSERT_NE(at, std::string::npos) << path << " is not listed:\n" << text;
        EXPECT_NE(text.rfind("<path size=\"" + std::to_string(fs::file_size(file)) + "\"", at), std::string::npos) << path;
        OutputHash hash;
        const Bytes bytes = read_file(file);
        hash.add(bytes.data(), bytes.size());
        const std::string hex = installed("xxh128sum") ? output_of("xxh128sum '" + file.string() + "'").substr(0, 32) : hash.hex();
        EXPECT_EQ(hex, hash.hex());
        EXPECT_NE(text.find("<xxh128 action=\"" + action + "\" hashdate=", at), std::string::npos) << path << "\n" << text;
        EXPECT_NE(text.find("\">" + hex + "</xxh128>", at), std::string::npos) << path << "\n" << text;
    }
    const std::string c4 = output_of(
        "python3 -c 'import hashlib, sys\n"
        "n = int.from_bytes(hashlib.sha512(open(sys.argv[1], \"rb\").read()).digest(), \"big\")\n"
        "a = \"123456789ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz\"\n"
        "s = \"\"\n"
        "while n: n, r = divmod(n, 58); s = a[r] + s\n"
        "print(\"c4\" + s.rjust(88, \"1\"))' '" + manifest.string() + "'");
    EXPECT_NE(chained.find("<hashlist sequencenr=\"" + std::to_string(generation) + "\">\n    <path>" +
                           manifest.filename().string() + "</path>\n    <c4>" + c4.substr(0, 90) + "</c4>"),
              std::string::npos)
        << chained;
}

std::vector<JoinCase> join_cases() {
    const Bytes list = chunk("LIST", pattern(26, 9));
    const Bytes a24 = pattern(12, 3), b24 = pattern(12, 4);
    const Bytes a8 = pattern(20, 5), b8 = pattern(20, 6);
    const Bytes odd = chunk("junk", Bytes(5, 0xEE));
    const Bytes mono = riff_wave({chunk("fmt ", pcm_fmt(1, 44100, 16)), chunk("data", REAR)});
    std::vector<JoinCase> cases = {
        {"normal run, rear derived", STANDARD, {"takeF.wav"}, 0, PAIR + format(44100, 16) + progress(1260, 50),
         STANDARD_OUT},
        {"rear given, 24-bit at 96 kHz",
         {{"takeF.wav", stereo_wave(96000, 24, a24)}, {"other.wav", stereo_wave(96000, 24, b24)}},
         {"takeF.wav", "other.wav"}, 0,
         names("takeF.wav", "other.wav", "takeF-6ch.wav") + format(96000, 24) + progress(96, 2),
         six_channel_wave(96000, 24, a24, b24)},
        {"8-bit: silence is 0x80", pair_of(stereo_wave(8000, 8, a8), stereo_wave(8000, 8, b8)), {"takeF.wav"}, 0,
         PAIR + format(8000, 8) + progress(120, 10), six_channel_wave(8000, 8, a8, b8)},
        {"no audio", pair_of(stereo_wave(44100, 16, {}), stereo_wave(44100, 16, {})), {"takeF.wav"}, 0,
         PAIR + format(44100, 16) + progress(60, 0), six_channel_wave(44100, 16, {}, {})},
        {"three arguments: rear derived", STANDARD, {"takeF.wav", "x.wav", "y"}, 0,
         PAIR + format(44100, 16) + progress(1260, 50), STANDARD_OUT},
        {"chunks after the audio are not audio",
         pair_of(riff_wave({FMT16, chunk("data", FRONT), list}), riff_wave({FMT16, chunk("data", REAR), list})),
         {"takeF.wav"}, 0, PAIR + format(44100, 16) + progress(1260, 50), STANDARD_OUT},
        {"unfinalised data sizes run to the end", pair_of(declaring(0, FRONT), declaring(0xFFFFFFFF, REAR)),
         {"takeF.wav"}, 0, PAIR + format(44100, 16) + progress(1260, 50), STANDARD_OUT},
        {"a size past the end runs to the end", pair_of(declaring(1000, FRONT), declaring(401, REAR)),
         {"takeF.wav"}, 0, PAIR + format(44100, 16) + progress(1260, 50), STANDARD_OUT},
        {"padded odd chunks before fmt and data",
         pair_of(riff_wave({odd, FMT16, odd, chunk("data", FRONT)}), riff_wave({odd, FMT16, chunk("data", REAR)})),
         {"takeF.wav"}, 0, PAIR + format(44100, 16) + progress(1260, 50), STANDARD_OUT},
        {"a partial frame at the end is dropped",
         pair_of(stereo_wave(44100, 16, pattern(42, 1)), stereo_wave(44100, 16, pattern(42, 2))), {"takeF.wav"},
         0, PAIR + format(44100, 16) + progress(180, 10),
         six_channel_wave(44100, 16, pattern(40, 1), pattern(40, 2))},
        {"no argument", {}, {}, 73, "insufficient parameters - front [and optionally rear] wav must be given!\n",
         std::nullopt},
        {"front missing", {}, {"takeF.wav"}, 255, "cannot open front input file!\n", std::nullopt},
        {"front is /dev/null", STANDARD, {"/dev/null"}, 255, "cannot open front input file!\n", std::nullopt},
        {"rear is /dev/zero", STANDARD, {"takeF.wav", "/dev/zero"}, 255,
         names("takeF.wav") + "cannot open rear input file!\n", std::nullopt},
        {"front and rear the same file", STANDARD, {"takeF.wav", "takeF.wav"}, 255,
         names("takeF.wav", "takeF.wav") + "front and rear input are the same file!\n", std::nullopt},
        {"rear a link to the front", STANDARD, {"takeF.wav", "link.wav"}, 255,
         names("takeF.wav", "link.wav") + "front and rear input are the same file!\n", std::nullopt,
         [](const fs::path& dir) { fs::create_symlink("takeF.wav", dir / "link.wav"); }},
        {"rear missing", {{"takeF.wav", STANDARD[0].second}}, {"takeF.wav"}, 255,
         names("takeF.wav") + "cannot open rear input file!\n", std::nullopt},
        {"no F or R before the extension", {{"takeX.wav", STANDARD[0].second}}, {"takeX.wav"}, 255,
         names("takeX.wav") + "rear file not given and no auto-detect possible!\n", std::nullopt},
        {"front not RIFF", pair_of(Bytes(40, 'x'), STANDARD[1].second), {"takeF.wav"}, 255,
         names("takeF.wav") + "not a wave file!\n", std::nullopt},
        {"rear without data", pair_of(STANDARD[0].second, riff_wave({FMT16})), {"takeF.wav"}, 255,
         names("takeF.wav", "takeR.wav") + "invalid wave file!\n", std::nullopt},
        {"front without fmt: no output is left",
         pair_of(riff_wave({chunk("data", FRONT)}), STANDARD[1].second), {"takeF.wav"}, 255,
         PAIR + "invalid wave file!\n", std::nullopt},
        {"fmt body shorter than 16 bytes",
         pair_of(riff_wave({chunk("fmt ", Bytes(14, 0)), chunk("data", FRONT)}), STANDARD[1].second),
         {"takeF.wav"}, 255, PAIR + "invalid wave file!\n", std::nullopt},
        {"unequal lengths", pair_of(STANDARD[0].second, stereo_wave(44100, 16, pattern(404, 2))), {"takeF.wav"},
         255, PAIR + format(44100, 16) + "fatal error: quadrophonic file sizes not equal!\n", std::nullopt},
        {"32-bit integer", pair_of(stereo_wave(44100, 32, FRONT), stereo_wave(44100, 32, REAR)), {"takeF.wav"}, 0,
         PAIR + format(44100, 32) + progress(1260, 50), six_channel_wave(44100, 32, FRONT, REAR)},
        {"32-bit float", pair_of(stereo_wave(48000, 32, FRONT, FLOAT), stereo_wave(48000, 32, REAR, FLOAT)),
         {"takeF.wav"}, 0, PAIR + format(48000, 32) + progress(1260, 50),
         six_channel_wave(48000, 32, FRONT, REAR, FLOAT)},
        {"64-bit float, extensible", pair_of(ext_wave(64, FLOAT, FRONT), stereo_wave(48000, 64, REAR, FLOAT)),
         {"takeF.wav"}, 0, PAIR + format(48000, 64) + progress(1260, 25),
         six_channel_wave(48000, 64, FRONT, REAR, FLOAT)},
        {"plain PCM front, extensible rear", pair_of(STANDARD[0].second, ext_wave(16, PCM, REAR, 44100)),
         {"takeF.wav"}, 0, PAIR + format(44100, 16) + progress(1260, 50), STANDARD_OUT},
        {"A-law", pair_of(stereo_wave(8000, 8, a8, ALAW), stereo_wave(8000, 8, b8, ALAW)), {"takeF.wav"}, 255,
         PAIR + format(8000, 8) + "unsupported sample format!\n", std::nullopt},
        {"mono front", pair_of(mono, STANDARD[1].second), {"takeF.wav"}, 255,
         PAIR + format(44100, 16) + "front input is not a stereo wave file!\n", std::nullopt},
        {"16-bit float", pair_of(stereo_wave(44100, 16, FRONT, FLOAT), stereo_wave(44100, 16, REAR, FLOAT)),
         {"takeF.wav"}, 255, PAIR + format(44100, 16) + "unsupported sample width!\n", std::nullopt},
        {"rear without fmt", pair_of(STANDARD[0].second, riff_wave({chunk("data", REAR)})), {"takeF.wav"}, 255,
         PAIR + format(44100, 16) + "invalid wave file!\n", std::nullopt},
        {"mono rear", pair_of(STANDARD[0].second, mono), {"takeF.wav"}, 255,
         PAIR + format(44100, 16) + "rear input is not a stereo wave file!\n", std::nullopt},
        {"16-bit front, 24-bit rear of the same length",
         pair_of(STANDARD[0].second, stereo_wave(44100, 24, REAR)), {"takeF.wav"}, 255,
         PAIR + format(44100, 16) + "front and rear formats differ!\n", std::nullopt},
        {"integer front, float rear", pair_of(stereo_wave(48000, 32, FRONT), stereo_wave(48000, 32, REAR, FLOAT)),
         {"takeF.wav"}, 255, PAIR + format(48000, 32) + "front and rear formats differ!\n", std::nullopt},
        {"byte rate beyond 32 bits", pair_of(stereo_wave(0xFFFFFFFF, 16, FRONT), stereo_wave(0xFFFFFFFF, 16, REAR)),
         {"takeF.wav"}, 255, PAIR + format(0xFFFFFFFF, 16) + "input too large for a 6ch wave file!\n", std::nullopt},
        {"a take over 4 GiB past the file size limit: nothing left", {}, {"takeF.wav"}, 255,
         PAIR + format(44100, 16) + ruler(3 * OVER_4_GIB + 96 + JOINED_BEXT.size()) + ">cannot write output file!\n",
         std::nullopt,
         [](const fs::path& dir) {
             make_sparse_take(dir / "takeF.wav", OVER_4_GIB, FRONT, BEXT);
             make_sparse_take(dir / "takeR.wav", OVER_4_GIB, REAR);
         },
         true, 4096 * 1024},
        {"chunks past 2 GiB are found", {}, {"takeF.wav"}, 0, PAIR + format(44100, 16) + progress(1260, 50),
         STANDARD_OUT,
         [](const fs::path& dir) {
             make_take_past_2_gib(dir / "takeF.wav", FRONT);
             make_take_past_2_gib(dir / "takeR.wav", REAR);
         }},
        {"output path is a directory", STANDARD, {"takeF.wav"}, 25, names("takeF.wav", "takeR.wav") +
         "cannot open output file!\n", std::nullopt,
         [](const fs::path& dir) { fs::create_directory(dir / "takeF-6ch.wav"); }, false},
        {"rear named as the output", {{"takeF.wav", STANDARD[0].second}, {"takeF-6ch.wav", STANDARD[1].second}},
         {"takeF.wav", "takeF-6ch.wav"}, 255,
         names("takeF.wav", "takeF-6ch.wav") + "output file would overwrite an input file!\n", std::nullopt,
         nullptr, false},
        {"output is a symbolic link to the rear", STANDARD, {"takeF.wav"}, 255,
         names("takeF.wav", "takeR.wav") + "output file would overwrite an input file!\n", std::nullopt,
         [](const fs::path& dir) { fs::create_symlink("takeR.wav", dir / "takeF-6ch.wav"); }, false},
        {"--help", STANDARD, {"--help", "takeF.wav"}, 0, "usage: sixjoin [-o PATH | -o -] [-t | -p] [-n] [-q] [-u] [--verify] [--mhl] FRONT.wav [REAR.wav]\n...",
         std::nullopt},
        {"--version", STANDARD, {"--version"}, 0, "", std::nullopt},
        {"an unknown option", STANDARD, {"-x", "takeF.wav"}, 64, "unknown option '-x' - see sixjoin --help\n",
         std::nullopt},
        {"-o with nothing after it", STANDARD, {"-o"}, 64, "option '-o' needs a path - see sixjoin --help\n",
         std::nullopt},
        {"--output= with no path", STANDARD, {"--output=", "takeF.wav"}, 64,
         "option '--output' needs a path - see sixjoin --help\n", std::nullopt},
        {"--output=PATH to the rear is refused", STANDARD, {"--output=takeR.wav", "takeF.wav"}, 255,
         names("takeF.wav", "takeR.wav") + "output file would overwrite an input file!\n", std::nullopt, nullptr,
         false},
        {"output is a hard link to the front", STANDARD, {"takeF.wav"}, 255,
         names("takeF.wav", "takeR.wav") + "output file would overwrite an input file!\n", std::nullopt,
         [](const fs::path& dir) { fs::create_hard_link(dir / "takeF.wav", dir / "takeF-6ch.wav"); }, false},
    };
    {
        // A field recorder's take: Broadcast Wave, iXML, markers with labels, INFO, and filler.
        const Bytes carried = joined(joined(JOINED_BEXT, chunk("iXML", ixml_body(six_tracks(
                                                             {"Front L", "Front R", "C", "LFE", "Rear L", "Rear R"})))),
                                     joined(joined(cue_chunk(), labels_chunk()), INFO));
        const Bytes out = six_channel_wave(44100, 16, FRONT, REAR, PCM, carried);
        cases.push_back({.name = "the take's metadata is carried",
                         .inputs = pair_of(riff_wave({BEXT, FMT16, chunk("iXML", ixml_body(track_list({"Front L", "Front R"}))),
                                                      chunk("JUNK", Bytes(28, 0)), chunk("data", FRONT), cue_chunk(),
                                                      labels_chunk(), INFO}),
                                           riff_wave({BEXT, FMT16, chunk("iXML", ixml_body(track_list({"Rear L", "Rear R"}))),
                                                      chunk("data", REAR)})),
                         .args = {"takeF.wav"}, .status = 0,
                         .console = PAIR + format(44100, 16) + progress(out.size() - 8, 50), .output = out});
    }
    {
        // A history that is only NULs; an iXML of odd size without a closed TRACK_LIST; the rear of another take.
        const Bytes bext = chunk("bext", bext_body(ONE_AM, std::string(4, '\0')));
        const Bytes ixml = chunk("iXML", ixml_body("<TRACK_LIST/>"));
        const Bytes carried = joined(joined(INFO, chunk("bext", bext_body(ONE_AM, JOIN_ROW))), ixml);
        const Bytes out = six_channel_wave(44100, 16, FRONT, REAR, PCM, carried);
        cases.push_back({.name = "another take's rear is reported",
                         .inputs = pair_of(riff_wave({INFO, bext, FMT16, ixml, chunk("data", FRONT)}),
                                           riff_wave({chunk("bext", bext_body(ONE_AM + 1, "")), FMT16, chunk("data", REAR)})),
                         .args = {"takeF.wav"}, .status = 0,
                         .console = PAIR + format(44100, 16) + "warning: front and rear time references differ!\n" +
                                    progress(out.size() - 8, 50),
                         .output = out});
    }
    {
        // A bext too short for its fields, an iXML over 1 MiB, a LIST of another type, an iXML
        // that names no tracks, INFO after zeros that follow the audio (no chunk: the walk ends
        // there), and a cue chunk after the audio that runs past the end.
        Bytes short_bext = bext_body(ONE_AM, "");
        short_bext.resize(601);
        const Bytes ixml = chunk("iXML", ixml_body(track_list({})));
        const Bytes out = six_channel_wave(
            44100, 16, FRONT, REAR, PCM, chunk("iXML", ixml_body(six_tracks({"FL", "FR", "C", "LFE", "BL", "BR"}))));
        // The 1 MiB chunk is built as the row runs: copied with the table, it would cost every
        // test process under the sanitizers half a second.
        cases.push_back({.name = "metadata that cannot be carried is dropped", .inputs = {}, .args = {"takeF.wav"},
                         .status = 0, .console = PAIR + format(44100, 16) + progress(out.size() - 8, 50), .output = out,
                         .build = [=](JoinCase& c) {
                             c.inputs = pair_of(riff_wave({chunk("bext", short_bext), chunk("iXML", Bytes((1 << 20) + 1, ' ')),
                                                           FMT16, chunk("LIST", text_bytes("exif")), ixml, chunk("data", FRONT),
                                                           Bytes(64, 0), INFO, chunk_declaring("cue ", 29, Bytes(28, 0))}),
                                                riff_wave({FMT16, chunk("iXML", ixml_body("<TRACK_LIST><TRACK><NAME>x</NAME>")),
                                                           chunk("data", REAR)}));
                         }});
    }
    // Inputs of different lengths, joined on request. A copy block holds 8,192 16-bit frames.
    const auto sized = [](unsigned seed, std::size_t length, std::size_t joined_length, unsigned char silence = 0) {
        Bytes audio = pattern(length, seed);
        audio.resize(joined_length, silence);
        return audio;
    };
    const Bytes block_longer = pattern(400 + 40000, 2);
    const std::string options_exclude = "options '--trim' and '-p' exclude each other - see sixjoin --help\n";
    const std::vector<JoinCase> unequal = {
        {"--trim, front a frame longer", pair_of(stereo_wave(44100, 16, pattern(404, 1)), STANDARD[1].second),
         {"--trim", "takeF.wav"}, 0,
         PAIR + format(44100, 16) + "trimmed:              1 frames (0.000 s) of the front dropped\n" +
             progress(1260, 50),
         STANDARD_OUT},
        {"-t, rear longer by more than a copy block", pair_of(STANDARD[0].second, stereo_wave(44100, 16, block_longer)),
         {"-t", "takeF.wav"}, 0,
         PAIR + format(44100, 16) + "trimmed:              10000 frames (0.227 s) of the rear dropped\n" +
             progress(1260, 50),
         STANDARD_OUT},
        {"--pad, front a frame longer", pair_of(stereo_wave(44100, 16, pattern(404, 1)), STANDARD[1].second),
         {"--pad", "takeF.wav"}, 0,
         PAIR + format(44100, 16) + "padded:               1 frames (0.000 s) of silence after the rear\n" +
             progress(1272, 50),
         six_channel_wave(44100, 16, pattern(404, 1), sized(2, 400, 404))},
        {"-p, rear longer by more than a copy block", pair_of(STANDARD[0].second, stereo_wave(44100, 16, block_longer)),
         {"-p", "takeF.wav"}, 0,
         PAIR + format(44100, 16) + "padded:               10000 frames (0.227 s) of silence after the front\n" +
             progress(121260, 50),
         six_channel_wave(44100, 16, sized(1, 400, 40400), block_longer)},
        {"--pad, a dead battery's unfinished pair", pair_of(declaring(0, pattern(402, 1)), declaring(0, pattern(409, 2))),
         {"--pad", "takeF.wav"}, 0,
         PAIR + format(44100, 16) + "padded:               2 frames (0.000 s) of silence after the front\n" +
             progress(1284, 50),
         six_channel_wave(44100, 16, sized(1, 400, 408), pattern(408, 2))},
        {"--pad, 8-bit silence", pair_of(stereo_wave(8000, 8, a8), stereo_wave(8000, 8, pattern(30, 6))),
         {"--pad", "takeF.wav"}, 0,
         PAIR + format(8000, 8) + "padded:               5 frames (0.001 s) of silence after the front\n" +
             progress(150, 15),
         six_channel_wave(8000, 8, joined(a8, Bytes(10, 0x80)), pattern(30, 6))},
        {"--trim to a rear without audio", pair_of(STANDARD[0].second, stereo_wave(44100, 16, {})),
         {"--trim", "takeF.wav"}, 0,
         PAIR + format(44100, 16) + "trimmed:              100 frames (0.002 s) of the front dropped\n" +
             progress(60, 0),
         six_channel_wave(44100, 16, {}, {})},
        {"--pad, equal lengths: as without it", STANDARD, {"--pad", "takeF.wav"}, 0,
         PAIR + format(44100, 16) + progress(1260, 50), STANDARD_OUT},
        {"-t, partial frames of different lengths: as equal ones",
         pair_of(stereo_wave(44100, 16, joined(FRONT, {1})), stereo_wave(44100, 16, joined(REAR, {2, 3}))),
         {"-t", "takeF.wav"}, 0, PAIR + format(44100, 16) + progress(1260, 50), STANDARD_OUT},
        {"--trim and -p at once", STANDARD, {"--trim", "-p", "takeF.wav"}, 64, options_exclude, std::nullopt},
    };
    cases.insert(cases.end(), unequal.begin(), unequal.end());
    cases.push_back({.name = "--pad across a ring", .inputs = {}, .args = {"--pad", "takeF.wav"}, .status = 0,
                     .console = PAIR + format(44100, 16) +
                                "padded:               " + std::to_string(INPUT_RING_BYTES / 4) + " frames (" +
                                seconds_text(INPUT_RING_BYTES / 4, 44100) + " s) of silence after the rear\n" +
                                progress(3 * (INPUT_RING_BYTES + 4) + 60, 50),
                     .output = Bytes{}, .build = long_pair(INPUT_RING_BYTES + 4, 4, INPUT_RING_BYTES + 4)});

    // Inputs around one ring, in whole frames: shorter than it, exactly it, a frame past it, each
    // in another width; and a rear that fails, as a worn card does, once its ring has gone round.
    for (const auto& [name, bits, tag, length] :
         {std::tuple{"8-bit, a frame less than one ring", 8u, PCM, INPUT_RING_BYTES - 2},
          std::tuple{"24-bit, one ring", 24u, PCM, INPUT_RING_BYTES / 6 * 6},
          std::tuple{"16-bit, one ring and a frame", 16u, PCM, INPUT_RING_BYTES + 4},
          std::tuple{"64-bit float, one ring and a frame", 64u, FLOAT, INPUT_RING_BYTES + 16}}) {
        cases.push_back({.name = name, .inputs = {}, .args = {"takeF.wav"}, .status = 0,
                         .console = PAIR + format(44100, bits) + progress(3 * length + 60, 50), .output = Bytes{},
                         .build = long_pair(length, length, length, bits, tag)});
    }
#ifdef READ_FAILURE_SHIM
    if (!windows_programs()) {
        const char* asan_options = std::getenv("ASAN_OPTIONS");
        cases.push_back({.name = "a read error once the ring has gone round", .inputs = {}, .args = {"takeF.wav"}, .status = 255,
                         .console = PAIR + format(44100, 16) + ruler(6 * INPUT_RING_BYTES + 60) + std::string(25, '>') +
                                    "cannot read input file!\n",
                         .output = std::nullopt, .check_output = false,
                         .environment = {"LD_PRELOAD=" READ_FAILURE_SHIM, "FAIL_READ_NAME=takeR.wav",
                                         "FAIL_READ_AT=" + std::to_string(INPUT_RING_BYTES + 1000),
                                         // The sanitizers' runtime need not come first for this.
                                         std::string("ASAN_OPTIONS=") + (asan_options ? asan_options : "") +
                                             ":verify_asan_link_order=0"},
                         .build = long_pair(2 * INPUT_RING_BYTES, 2 * INPUT_RING_BYTES, 2 * INPUT_RING_BYTES)});
    }
#endif
    const std::string take = "λήψη-テイク7";  // letters that no Windows code page holds together
    cases.push_back({.name = "a name outside the code page",
                     .inputs = pair_of_named(take, FRONT, REAR),
                     .args = {take + "F.wav"}, .status = 0,
                     .console = names(take + "F.wav", take + "R.wav", take + "F-6ch.wav") + format(44100, 16) +
                                progress(1260, 50),
                     .output = STANDARD_OUT, .output_at = take + "F-6ch.wav"});
    cases.push_back({.name = "-- before a file named -x", .inputs = pair_of_named("-x", FRONT, REAR),
                     .args = {"--", "-xF.wav"}, .status = 0,
                     .console = names("-xF.wav", "-xR.wav", "-xF-6ch.wav") + format(44100, 16) + progress(1260, 50),
                     .output = STANDARD_OUT, .output_at = "-xF-6ch.wav"});
    cases.push_back({.name = "-o to a file", .inputs = STANDARD, .args = {"-o", "out.wav", "takeF.wav"}, .status = 0,
                     .console = names("takeF.wav", "takeR.wav", "out.wav") + format(44100, 16) + progress(1260, 50),
                     .output = STANDARD_OUT, .output_at = "out.wav"});
    cases.push_back({.name = "--output to a folder", .inputs = STANDARD, .args = {"--output", "takes", "takeF.wav"},
                     .status = 0,
                     .console = names("takeF.wav", "takeR.wav", std::string("takes") + SEPARATOR + "takeF-6ch.wav") +
                                format(44100, 16) + progress(1260, 50),
                     .output = STANDARD_OUT,
                     .setup = [](const fs::path& dir) { fs::create_directory(dir / "takes"); },
                     .output_at = "takes/takeF-6ch.wav"});
    cases.push_back({.name = "-o into a folder that does not exist", .inputs = STANDARD,
                     .args = {"-o", "none/out.wav", "takeF.wav"}, .status = 25,
                     .console = names("takeF.wav", "takeR.wav") + "cannot open output file!\n",
                     .output = std::nullopt, .output_at = "none/out.wav"});
    // A card: a take, a take of unequal lengths, a front without its rear, a lower-case take in
    // another folder, a rear without its front; passed over: a "._" file, an earlier output, a
    // hidden folder, a link to the folder above, a text file, and a folder given twice.
    const auto at = [](std::initializer_list<std::string> parts) {
        std::string path;
        for (const std::string& part : parts) path += (path.empty() ? "" : std::string(1, SEPARATOR)) + part;
        return path;
    };
    const std::vector<std::pair<std::string, Bytes>> card = {
        {"card/notes.txt", text_bytes("owl")},
        {"card/FOLDER01/._SR001F.WAV", Bytes(4096, 0)},
        {"card/FOLDER01/SR000F-6ch.wav", STANDARD_OUT},
        {"card/FOLDER01/SR001F.WAV", STANDARD[0].second},
        {"card/FOLDER01/SR001R.WAV", STANDARD[1].second},
        {"card/FOLDER01/SR002F.WAV", STANDARD[0].second},
        {"card/FOLDER01/SR002R.WAV", stereo_wave(44100, 16, pattern(404, 2))},
        {"card/FOLDER01/SR003F.WAV", STANDARD[0].second},
        {"card/FOLDER02/sr004f.wav", stereo_wave(96000, 24, a24)},
        {"card/FOLDER02/sr004r.wav", stereo_wave(96000, 24, b24)},
        {"card/FOLDER02/SR005R.WAV", STANDARD[1].second},
        {"card/.hidden/SR006F.WAV", STANDARD[0].second},
        {"card/.hidden/SR006R.WAV", STANDARD[1].second},
    };
    const auto loop = [](const fs::path& dir) { fs::create_directory_symlink("..", dir / "card/FOLDER02/loop"); };
    const std::string sr001 = at({"card", "FOLDER01", "SR001"}), sr002 = at({"card", "FOLDER01", "SR002"}),
                      sr004 = at({"card", "FOLDER02", "sr004"});
    const std::string unpaired = "not joined: " + at({"card", "FOLDER01", "SR003F.WAV"}) + ": no rear file\n" +
                                 "not joined: " + at({"card", "FOLDER02", "SR005R.WAV"}) + ": no front file\n";
    cases.push_back({.name = "a card: every take once, the rest listed", .inputs = card,
                     .args = {"card", at({"card", "FOLDER01"})}, .status = 1,
                     .console = "take 1 of 3\n" + names(sr001 + "F.WAV", sr001 + "R.WAV", sr001 + "F-6ch.wav") +
                                format(44100, 16) + progress(1260, 50) + "\ntake 2 of 3\n" +
                                names(sr002 + "F.WAV", sr002 + "R.WAV", sr002 + "F-6ch.wav") + format(44100, 16) +
                                "fatal error: quadrophonic file sizes not equal!\n\ntake 3 of 3\n" +
                                names(sr004 + "f.wav", sr004 + "r.wav", sr004 + "f-6ch.wav") + format(96000, 24) +
                                progress(96, 2) + "\njoined 2 of 3 takes\nnot joined: " + sr002 +
                                "F.WAV: fatal error: quadrophonic file sizes not equal!\n" + unpaired,
                     .output = std::nullopt, .setup = loop, .output_at = "card/.hidden/SR006F-6ch.wav",
                     .outputs = {{"card/FOLDER01/SR001F-6ch.wav", STANDARD_OUT},
                                 {"card/FOLDER02/sr004f-6ch.wav", six_channel_wave(96000, 24, a24, b24)}}});
    cases.push_back({.name = "--dry-run -o: what would be joined, nothing written", .inputs = card,
                     .args = {"-n", "-o", "out", "card"}, .status = 1,
                     .console = sr001 + "F.WAV + " + sr001 + "R.WAV -> " + at({"out", "FOLDER01", "SR001F-6ch.wav"}) +
                                "\n" + sr002 + "F.WAV + " + sr002 + "R.WAV -> " +
                                at({"out", "FOLDER01", "SR002F-6ch.wav"}) + "\n" + sr004 + "f.wav + " + sr004 +
                                "r.wav -> " + at({"out", "FOLDER02", "sr004f-6ch.wav"}) +
                                "\nwould join 3 of 3 takes\n" + unpaired + "space: out: needs 1372 bytes, F free\n",
                     .output = std::nullopt, .setup = loop, .output_at = "out"});
    const std::string kaado = at({"カード", "FOLDER01", "SR001"});
    cases.push_back({.name = "-o mirrors a card's folders into a new folder",
                     .inputs = {{"カード/FOLDER01/SR001F.WAV", STANDARD[0].second},
                                {"カード/FOLDER01/SR001R.WAV", STANDARD[1].second}},
                     .args = {"-o", at({"out", "takes"}), "カード"}, .status = 0,
                     .console = "take 1 of 1\n" +
                                names(kaado + "F.WAV", kaado + "R.WAV", at({"out", "takes", "FOLDER01", "SR001F-6ch.wav"})) +
                                format(44100, 16) + progress(1260, 50) + "\njoined 1 of 1 takes\n",
                     .output = STANDARD_OUT, .output_at = "out/takes/FOLDER01/SR001F-6ch.wav"});
    cases.push_back({.name = "a folder without a take", .inputs = {{"card/notes.txt", text_bytes("owl")}},
                     .args = {"card"}, .status = 1, .console = "no take found!\n", .output = std::nullopt});
    cases.push_back({.name = "a folder, then a file", .inputs = card, .args = {"card", "card/FOLDER01/SR001F.WAV"},
                     .status = 64,
                     .console = "'card/FOLDER01/SR001F.WAV' is not a folder, as the first is - see sixjoin --help\n",
                     .output = std::nullopt, .output_at = "card/FOLDER01/SR001F-6ch.wav"});
    cases.push_back({.name = "-o with two folders", .inputs = card, .args = {"-o", "out", "card", "card"},
                     .status = 64, .console = "option '-o' goes with one folder only - see sixjoin --help\n",
                     .output = std::nullopt, .output_at = "out"});
    cases.push_back({.name = "--dry-run on files", .inputs = STANDARD, .args = {"--dry-run", "takeF.wav"},
                     .status = 0,
                     .console = "takeF.wav + takeR.wav -> takeF-6ch.wav\nwould join 1 of 1 takes\n"
                                "space: .: needs 1268 bytes, F free\n",
                     .output = std::nullopt});
    // -o -: the file into a pipe, everything said on standard error; -q: only what went wrong.
    const Bytes bext24 = chunk("bext", bext_body(ONE_AM, H2N_HISTORY));
    const Bytes out24 = six_channel_wave(96000, 24, a24, b24, PCM,
                                         chunk("bext", bext_body(ONE_AM, H2N_HISTORY + "A=PCM,F=96000,W=24,T=sixjoin 1.4\r\n")));
    const std::string to_stdout = names("takeF.wav", "takeR.wav", "-");
    cases.push_back({.name = "-o -: the file's bytes on standard output", .inputs = STANDARD,
                     .args = {"-o", "-", "takeF.wav"}, .status = 0,
                     .console = to_stdout + format(44100, 16) + progress(1260, 50), .output = STANDARD_OUT,
                     .output_at = "-", .audio_on_stdout = true});
    cases.push_back({.name = "-o -, 24-bit with its bext",
                     .inputs = pair_of(riff_wave({bext24, chunk("fmt ", pcm_fmt(2, 96000, 24)), chunk("data", a24)}),
                                       stereo_wave(96000, 24, b24)),
                     .args = {"--output=-", "takeF.wav"}, .status = 0,
                     .console = to_stdout + format(96000, 24) + progress(out24.size() - 8, 2), .output = out24,
                     .output_at = "-", .audio_on_stdout = true});
    cases.push_back({.name = "-o - stops on unequal lengths, saying so on standard error",
                     .inputs = pair_of(STANDARD[0].second, stereo_wave(44100, 16, pattern(404, 2))),
                     .args = {"-o", "-", "takeF.wav"}, .status = 255,
                     .console = to_stdout + format(44100, 16) + "fatal error: quadrophonic file sizes not equal!\n",
                     .output = Bytes{}, .output_at = "-", .audio_on_stdout = true});
    cases.push_back({.name = "-o - with a folder", .inputs = card, .args = {"-o", "-", "card"}, .status = 64,
                     .console = "option '-o -' writes one take, and folders give many - see sixjoin --help\n",
                     .output = std::nullopt, .output_at = "card/FOLDER01/SR001F-6ch.wav", .audio_on_stdout = true});
    cases.push_back({.name = "-q: nothing said", .inputs = STANDARD, .args = {"-q", "takeF.wav"}, .status = 0,
                     .console = "", .output = STANDARD_OUT, .quiet = true});
    cases.push_back({.name = "--quiet: a stop's message alone",
                     .inputs = pair_of(STANDARD[0].second, stereo_wave(44100, 16, pattern(404, 2))),
                     .args = {"--quiet", "takeF.wav"}, .status = 255,
                     .console = "fatal error: quadrophonic file sizes not equal!\n", .output = std::nullopt,
                     .quiet = true});
    cases.push_back({.name = "-q on a card: what was not joined", .inputs = card, .args = {"-q", "card"}, .status = 1,
                     .console = "fatal error: quadrophonic file sizes not equal!\nnot joined: " + sr002 +
                                "F.WAV: fatal error: quadrophonic file sizes not equal!\n" + unpaired,
                     .output = std::nullopt, .setup = loop, .output_at = "card/.hidden/SR006F-6ch.wav",
                     .outputs = {{"card/FOLDER01/SR001F-6ch.wav", STANDARD_OUT}}, .quiet = true});
    if (!windows_programs()) {
        // A reader that closes the pipe after the first 4 KiB of an RF64 file's.
        cases.push_back({.name = "-o -: RF64 into a pipe closed early", .inputs = {}, .args = {"-o", "-", "takeF.wav"},
                         .status = 255,
                         .console = to_stdout + format(44100, 16) + ruler(3 * OVER_4_GIB + 96 + JOINED_BEXT.size()) +
                                    "cannot write output file!\n",
                         .output = rf64_start(OVER_4_GIB, FRONT, REAR, JOINED_BEXT),
                         .setup = [](const fs::path& dir) {
                             make_sparse_take(dir / "takeF.wav", OVER_4_GIB, FRONT, BEXT);
                             make_sparse_take(dir / "takeR.wav", OVER_4_GIB, REAR);
                         },
                         .output_at = "head.bin", .pipe_to = "head -c 4096 >head.bin"});
    }
    // --verify: each output read back and compared; the hash is xxh128sum's. -u: takes already
    // joined are passed over, or with --verify compared with their join computed anew.
    cases.push_back({.name = "--verify, 16-bit", .inputs = STANDARD, .args = {"--verify", "takeF.wav"}, .status = 0,
                     .console = PAIR + format(44100, 16) + progress(1260, 50) + verified(STANDARD_OUT),
                     .output = STANDARD_OUT});
    cases.push_back({.name = "--verify, 24-bit with its bext",
                     .inputs = pair_of(riff_wave({bext24, chunk("fmt ", pcm_fmt(2, 96000, 24)), chunk("data", a24)}),
                                       stereo_wave(96000, 24, b24)),
                     .args = {"--verify", "takeF.wav"}, .status = 0,
                     .console = PAIR + format(96000, 24) + progress(out24.size() - 8, 2) + verified(out24),
                     .output = out24});
    cases.push_back({.name = "--verify -q, float: nothing said",
                     .inputs = pair_of(stereo_wave(48000, 32, FRONT, FLOAT), stereo_wave(48000, 32, REAR, FLOAT)),
                     .args = {"-q", "--verify", "takeF.wav"}, .status = 0, .console = "",
                     .output = six_channel_wave(48000, 32, FRONT, REAR, FLOAT), .quiet = true});
    cases.push_back({.name = "--verify with -o - is refused", .inputs = STANDARD, .args = {"--verify", "-o", "-", "takeF.wav"},
                     .status = 64,
                     .console = "option '--verify' reads the output back, and standard output cannot be read back"
                                " - see sixjoin --help\n",
                     .output = std::nullopt, .audio_on_stdout = true});
    cases.push_back({.name = "-u with -o - is refused", .inputs = STANDARD, .args = {"-u", "-o", "-", "takeF.wav"},
                     .status = 64,
                     .console = "option '-u' looks at an output file, and standard output is none - see sixjoin --help\n",
                     .output = std::nullopt, .audio_on_stdout = true});
    const auto write_later = [](const std::string& name, const Bytes& bytes) {
        return [=](const fs::path& dir) { write_file(dir / name, bytes); };
    };
    const std::string already = names("takeF.wav", "takeR.wav", "takeF-6ch.wav") + "already joined.\n";
    const Bytes padded = six_channel_wave(44100, 16, pattern(404, 1), joined(REAR, Bytes(4, 0)));
    const auto longer_front = pair_of(stereo_wave(44100, 16, pattern(404, 1)), STANDARD[1].second);
    cases.push_back({.name = "-u -p: the padded output is already joined", .inputs = longer_front,
                     .args = {"-u", "-p", "takeF.wav"}, .status = 0, .console = already, .output = padded,
                     .setup = write_later("takeF-6ch.wav", padded)});
    cases.push_back({.name = "-u -t: an output of the padded size is joined again", .inputs = longer_front,
                     .args = {"-u", "-t", "takeF.wav"}, .status = 0,
                     .console = PAIR + format(44100, 16) + "trimmed:              1 frames (0.000 s) of the front dropped\n" +
                                progress(1260, 50),
                     .output = STANDARD_OUT, .setup = write_later("takeF-6ch.wav", padded)});
    const Bytes changed = with_byte(STANDARD_OUT, 700, STANDARD_OUT[700] ^ 1);
    cases.push_back({.name = "-u --verify: an output of the right size with other bytes",
                     .inputs = STANDARD, .args = {"-u", "--verify", "takeF.wav"}, .status = 255,
                     .console = already + VERIFYING + std::string(50, '>') + DOES_NOT_READ_BACK_LINE,
                     .output = changed, .setup = write_later("takeF-6ch.wav", changed)});
    {
        // A card run before: SR001 joined, SR002 not reached, SR003 killed mid-take, SR004 joined
        // before its rear was replaced; a run killed after it left a .part of SR001.
        std::vector<std::pair<std::string, Bytes>> takes;
        for (const char* take : {"SR001", "SR002", "SR003", "SR004"})
            for (const auto& file : pair_of_named(std::string("card/") + take, FRONT, REAR)) takes.push_back(file);
        const auto earlier_run = [](const fs::path& dir) {
            write_file(dir / "card/SR001F-6ch.wav", STANDARD_OUT);
            write_file(dir / "card/SR003F-6ch.wav", Bytes(STANDARD_OUT.begin(), STANDARD_OUT.end() - 1));
            write_file(dir / "card/SR003F-6ch.wav.part", Bytes(600, 1));
            write_file(dir / "card/SR001F-6ch.wav.part", Bytes(700, 1));
            write_file(dir / "card/SR004F-6ch.wav", STANDARD_OUT);
            fs::last_write_time(dir / "card/SR004F-6ch.wav",
                                fs::last_write_time(dir / "card/SR004R.wav") - std::chrono::hours(1));
        };
        std::string console;
        for (int n = 1; n <= 4; ++n) {
            const std::string take = at({"card", "SR00" + std::to_string(n)});
            console += "take " + std::to_string(n) + " of 4\n" + names(take + "F.wav", take + "R.wav", take + "F-6ch.wav") +
                       (n == 1 ? "already joined.\n" + verified(STANDARD_OUT)
                               : format(44100, 16) + progress(1260, 50) + verified(STANDARD_OUT)) + "\n";
        }
        cases.push_back({.name = "-u --verify on a card after a run that stopped", .inputs = takes,
                         .args = {"-u", "--verify", "card"}, .status = 0,
                         .console = console + "joined 4 of 4 takes (1 already), verified 4\n",
                         .output = STANDARD_OUT, .setup = earlier_run, .output_at = "card/SR002F-6ch.wav",
                         .outputs = {{"card/SR001F-6ch.wav", STANDARD_OUT}, {"card/SR003F-6ch.wav", STANDARD_OUT},
                                     {"card/SR004F-6ch.wav", STANDARD_OUT}}});
        std::string dry;
        for (int n = 1; n <= 4; ++n) {
            const std::string take = at({"card", "SR00" + std::to_string(n)});
            dry += take + "F.wav + " + take + "R.wav -> " + take + "F-6ch.wav" + (n == 1 ? " (already joined)" : "") + "\n";
        }
        cases.push_back({.name = "--dry-run -u: what is already joined", .inputs = takes, .args = {"-n", "-u", "card"},
                         .status = 0,
                         // SR002 whole, SR003 the byte its cut output lacks less its .part, SR004
                         // nothing, and room for a .part beside the largest output replaced.
                         .console = dry + "would join 4 of 4 takes\nspace: card: needs 1937 bytes, F free\n",
                         .output = std::nullopt, .setup = earlier_run, .output_at = "card/SR002F-6ch.wav",
                         .parts_left = {"card/SR001F-6ch.wav.part", "card/SR003F-6ch.wav.part"}});
    }
    // An output appears under its name whole or not at all: a join that stops keeps what the name
    // held, with its date; one that succeeds replaces it, keeping its permission bits and links.
    const auto shorter_rear = pair_of(STANDARD[0].second, stereo_wave(44100, 16, pattern(404, 2)));
    cases.push_back({.name = "a refused rerun keeps the output of the day before", .inputs = shorter_rear,
                     .args = {"takeF.wav"}, .status = 255,
                     .console = PAIR + format(44100, 16) + "fatal error: quadrophonic file sizes not equal!\n",
                     .output = STANDARD_OUT, .setup = old_output("takeF-6ch.wav", STANDARD_OUT),
                     .check = kept_date("takeF-6ch.wav")});
    cases.push_back({.name = "a join replaces an output, keeping its permission bits", .inputs = STANDARD,
                     .args = {"takeF.wav"}, .status = 0, .console = PAIR + format(44100, 16) + progress(1260, 50),
                     .output = STANDARD_OUT,
                     .setup = [](const fs::path& dir) {
                         write_old(dir / "takeF-6ch.wav", Bytes(100, 7));
                         fs::permissions(dir / "takeF-6ch.wav", fs::perms(0640));
                     },
                     .check = [](const fs::path& dir) {
                         if (!windows_programs()) {
                             EXPECT_EQ(fs::status(dir / "takeF-6ch.wav").permissions(), fs::perms(0640));
                         }
                     }});
    if (!windows_programs()) {
        cases.push_back({.name = "an output name that is a link keeps it: the file it leads to is replaced",
                         .inputs = STANDARD, .args = {"takeF.wav"}, .status = 0,
                         .console = PAIR + format(44100, 16) + progress(1260, 50), .output = STANDARD_OUT,
                         .setup = [](const fs::path& dir) {
                             fs::create_directory(dir / "kept");
                             write_old(dir / "kept/real.wav", Bytes(100, 7));
                             fs::create_symlink("kept/real.wav", dir / "takeF-6ch.wav");
                         },
                         .output_at = "kept/real.wav",
                         .check = [](const fs::path& dir) { EXPECT_TRUE(fs::is_symlink(dir / "takeF-6ch.wav")); }});
        cases.push_back({.name = "-o /dev/null: written in place", .inputs = STANDARD,
                         .args = {"-o", "/dev/null", "takeF.wav"}, .status = 0,
                         .console = names("takeF.wav", "takeR.wav", "/dev/null") + format(44100, 16) + progress(1260, 50),
                         .output = std::nullopt, .check_output = false, .check = [](const fs::path&) {
                             EXPECT_EQ(fs::status("/dev/null").type(), fs::file_type::character);
                         }});
        cases.push_back({.name = "-o a named pipe with a reader: written in place", .inputs = STANDARD,
                         .args = {"-o", "pipe", "takeF.wav"}, .status = 0,
                         .console = names("takeF.wav", "takeR.wav", "pipe") + format(44100, 16) + progress(1260, 50),
                         .output = STANDARD_OUT,
                         .setup = [](const fs::path& dir) {
                             const std::string at = "'" + dir.string() + "/";
                             ASSERT_EQ(std::system(("mkfifo " + at + "pipe'").c_str()), 0);
                             std::system(("{ cat " + at + "pipe' >" + at + "read.wav'; touch " + at + "read'; } &").c_str());
                         },
                         .output_at = "read.wav", .check = [](const fs::path& dir) {
                             for (int tries = 0; tries < 100 && !fs::exists(dir / "read"); ++tries)
                                 std::this_thread::sleep_for(std::chrono::milliseconds(50));
                             EXPECT_EQ(fs::status(dir / "pipe").type(), fs::file_type::fifo);
                         }});
        // --verify: the .part flushed, renamed, and its folder flushed, before the output is read back.
        cases.push_back({.name = "--verify flushes the folder after the rename, before the read-back", .inputs = STANDARD,
                         .args = {"--verify", "takeF.wav"}, .status = 0,
                         .console = PAIR + format(44100, 16) + progress(1260, 50) + verified(STANDARD_OUT),
                         .output = STANDARD_OUT,
                         // LeakSanitizer cannot look at a process that strace traces.
                         .environment = {std::string("ASAN_OPTIONS=") + (std::getenv("ASAN_OPTIONS") ? std::getenv("ASAN_OPTIONS") : "") +
                                         ":detect_leaks=0"},
                         .check = [](const fs::path& dir) {
                             const std::vector<std::string> calls = log_lines(dir / "calls.txt");
                             const auto first = [&](const std::vector<std::string>& words, std::size_t from) {
                                 for (std::size_t at = from; at < calls.size(); ++at)
                                     if (std::all_of(words.begin(), words.end(), [&](const std::string& word) {
                                             return calls[at].find(word) != std::string::npos;
                                         }))
                                         return at;
                                 return calls.size();
                             };
                             const std::size_t flushed = first({"fdatasync(", "takeF-6ch.wav.part>"}, 0),
                                               renamed = first({"rename", "takeF-6ch.wav.part\"", "takeF-6ch.wav\""}, flushed),
                                               folder = first({"fsync(", dir.filename().string() + ">"}, renamed),
                                               read = first({"openat(", "takeF-6ch.wav\"", "O_DIRECT"}, folder);
                             EXPECT_LT(read, calls.size()) << "not in that order:\n" << output_of("cat '" + (dir / "calls.txt").string() + "'");
                         },
                         .wrapper = {"/usr/bin/strace", "-f", "-y", "-o", "calls.txt", "-e",
                                     "trace=fdatasync,fsync,rename,renameat,renameat2,openat"}});
    }
    if (windows_programs()) {
        cases.push_back({.name = "a drive-relative name", .inputs = STANDARD, .args = {"Z:takeF.wav"}, .status = 0,
                         .console = names("Z:takeF.wav", "Z:takeR.wav", "Z:takeF-6ch.wav") + format(44100, 16) +
                                    progress(1260, 50),
                         .output = STANDARD_OUT, .setup = old_output("takeF-6ch.wav", Bytes(100, 7))});
        cases.push_back({.name = "-o NUL: written in place", .inputs = STANDARD, .args = {"-o", "NUL", "takeF.wav"},
                         .status = 0,
                         .console = names("takeF.wav", "takeR.wav", "NUL") + format(44100, 16) + progress(1260, 50),
                         .output = std::nullopt, .output_at = "NUL"});
    }
    // A disk too small, known before the first byte: a tmpfs with room for one and a half of four
    // takes, then room for two, given the folder that holds two; then one take alone.
    {
        const std::vector<std::string> card = {"card/FOLDER01/SR001", "card/FOLDER01/SR002", "card/FOLDER02/SR003",
                                               "card/FOLDER02/SR004"};
        const std::uint64_t size = joined_size(400000);
        const auto nothing_written = [](const fs::path& dir) { EXPECT_TRUE(fs::is_empty(dir / "small")); };
        cases.push_back({.name = "a card onto a disk too small: refused before its first take", .inputs = {},
                         .args = {"-o", "small", "card"}, .status = 1,
                         .console = "space: small: needs " + std::to_string(4 * size) +
                                    " bytes, F free\nnot enough free space for the outputs!\n",
                         .output = std::nullopt, .build = long_takes(card, 400000), .check = nothing_written,
                         .small_disk = 1800000});
        std::string two;
        for (int n = 1; n <= 2; ++n) {
            const std::string take = at({"card", "FOLDER01", "SR00" + std::to_string(n)});
            two += "take " + std::to_string(n) + " of 2\n" +
                   names(take + "F.wav", take + "R.wav", at({"small", "SR00" + std::to_string(n) + "F-6ch.wav"})) +
                   format(44100, 16) + progress(size - 8, 50) + "\n";
        }
        cases.push_back({.name = "a card's folder that fits the disk", .inputs = {}, .args = {"-o", "small", at({"card", "FOLDER01"})},
                         .status = 0, .console = two + "joined 2 of 2 takes\n", .output = std::nullopt,
                         .build = long_takes(card, 400000, {"small/SR001F-6ch.wav", "small/SR002F-6ch.wav"}),
                         .small_disk = 2500000});
        // With two destinations, the one too small is dropped and the card goes on with the other.
        std::string to_big;
        for (int n = 1; n <= 4; ++n) {
            const std::string folder = n <= 2 ? "FOLDER01" : "FOLDER02", take = "SR00" + std::to_string(n);
            const std::string front = at({"card", folder, take});
            to_big += "take " + std::to_string(n) + " of 4\n" +
                      names(front + "F.wav", front + "R.wav", at({"big", folder, take + "F-6ch.wav"})) + format(44100, 16) +
                      progress(size - 8, 50) + "\n";
        }
        cases.push_back({.name = "a card onto two destinations, one too small: that one dropped", .inputs = {},
                         .args = {"-o", "small", "-o", "big", "card"}, .status = 1,
                         .console = "space: small: needs " + std::to_string(4 * size) +
                                    " bytes, F free\nsmall: not enough free space for the outputs!\n" + to_big +
                                    "joined 4 of 4 takes\n",
                         .output = std::nullopt, .build = long_takes(card, 400000, {"big/FOLDER02/SR004F-6ch.wav"}),
                         .check = nothing_written, .small_disk = 1800000});
        std::string both;
        for (int n = 1; n <= 4; ++n) {
            const std::string folder = n <= 2 ? "FOLDER01" : "FOLDER02", take = "SR00" + std::to_string(n);
            both += at({"card", folder, take + "F.wav"}) + " + " + at({"card", folder, take + "R.wav"}) + " -> " +
                    at({"small", folder, take + "F-6ch.wav"}) + ", " + at({"big", folder, take + "F-6ch.wav"}) + "\n";
        }
        cases.push_back({.name = "--dry-run onto two destinations: every output, and the room on each disk",
                         .inputs = {}, .args = {"-n", "-o", "small", "-o", "big", "card"}, .status = 0,
                         .console = both + "would join 4 of 4 takes\nspace: small: needs " + std::to_string(4 * size) +
                                    " bytes, F free\nspace: big: needs " + std::to_string(4 * size) + " bytes, F free\n",
                         .output = std::nullopt, .output_at = "big", .build = long_takes(card, 400000),
                         .check = nothing_written, .small_disk = 1800000});
        cases.push_back({.name = "a take onto a disk too small: refused before its first byte",
                         .inputs = {}, .args = {"-o", "small", "takeF.wav"}, .status = 255,
                         .console = names("takeF.wav", "takeR.wav", at({"small", "takeF-6ch.wav"})) + format(44100, 16) +
                                    "not enough free space for output file!\n",
                         .output = std::nullopt, .build = long_takes({"take"}, 400000), .check = nothing_written,
                         .small_disk = 1000000});
    }
    // A destination that gives other bytes back than it stored, with its page cache kept: only a
    // read-back past the cache finds them. The audio's byte lies in a page one write filled.
    {
        const std::uint64_t out_size = joined_size(100000);
        const auto pair = long_takes({"take"}, 100000), joined_on_disk = long_takes({"take"}, 100000, {"disk-store/takeF-6ch.wav"});
        const std::string to_disk = names("takeF.wav", "takeR.wav", at({"disk", "takeF-6ch.wav"})) + format(44100, 16) +
                                    progress(out_size - 8, 50);
        const std::string& not_read_back = VERIFYING;
        for (const auto& [name, options, verify, console] :
             {std::tuple{"--verify: a byte of the audio comes back changed", "--rot takeF-6ch.wav:202000", true,
                         to_disk + not_read_back + std::string(50, '>') + DOES_NOT_READ_BACK_LINE},
              std::tuple{"without --verify the same disk says done.", "--rot takeF-6ch.wav:202000", false, to_disk},
              std::tuple{"--verify: a byte of the header comes back changed", "--rot takeF-6ch.wav:30", true,
                         to_disk + not_read_back + std::string(50, '>') + DOES_NOT_READ_BACK_LINE},
              std::tuple{"--verify: the file's tail is lost", "--lose-tail takeF-6ch.wav:1000", true,
                         to_disk + not_read_back + std::string(49, '>') + DOES_NOT_READ_BACK_LINE}}) {
            cases.push_back({.name = name, .inputs = {},
                             .args = verify ? std::vector<std::string>{"--verify", "-o", "disk", "takeF.wav"}
                                            : std::vector<std::string>{"-o", "disk", "takeF.wav"},
                             .status = verify ? 255 : 0, .console = console, .output = std::nullopt,
                             .build = joined_on_disk, .disk = options,
                             .check = verify ? flushed_before_read_back : nullptr});
        }
        cases.push_back({.name = "--verify: a byte of a carried chunk comes back changed", .inputs = {},
                         .args = {"--verify", "-o", "disk", "takeF.wav"}, .status = 255,
                         .console = names("takeF.wav", "takeR.wav", at({"disk", "takeF-6ch.wav"})) + format(44100, 16) +
                                    progress(out_size + JOINED_BEXT.size() - 8, 50) + not_read_back + std::string(50, '>') +
                                    DOES_NOT_READ_BACK_LINE,
                         .output = std::nullopt,
                         .build = [](JoinCase& c) {
                             const Bytes front = pattern(100000, 31), rear = pattern(100000, 32);
                             c.inputs = pair_of(riff_wave({BEXT, FMT16, chunk("data", front)}), stereo_wave(44100, 16, rear));
                             c.outputs = {{"disk-store/takeF-6ch.wav", six_channel_wave(44100, 16, front, rear, PCM, JOINED_BEXT)}};
                         },
                         .disk = "--rot takeF-6ch.wav:200"});
        const std::string sr1 = at({"card", "SR001"}), sr2 = at({"card", "SR002"});
        cases.push_back({.name = "--verify on a card: one take's output rots", .inputs = {},
                         .args = {"--verify", "-o", "disk", "card"}, .status = 1,
                         .console = "take 1 of 2\n" + names(sr1 + "F.wav", sr1 + "R.wav", at({"disk", "SR001F-6ch.wav"})) +
                                    format(44100, 16) + progress(out_size - 8, 50) + VERIFIED_JOIN + "\ntake 2 of 2\n" +
                                    names(sr2 + "F.wav", sr2 + "R.wav", at({"disk", "SR002F-6ch.wav"})) + format(44100, 16) +
                                    progress(out_size - 8, 50) + not_read_back + std::string(50, '>') +
                                    DOES_NOT_READ_BACK_LINE + "\njoined 1 of 2 takes, verified 1\nnot joined: " + sr2 +
                                    "F.wav: " + DOES_NOT_READ_BACK_LINE,
                         .output = Bytes{}, .output_at = "disk-store/SR001F-6ch.wav",
                         .build = long_takes({"card/SR001", "card/SR002"}, 100000, {"disk-store/SR002F-6ch.wav"}),
                         .disk = "--rot SR002F-6ch.wav:202000"});
        // A disk that fills mid-join, one whose folder takes no new file, and a card that fails a
        // read: each time the output of the day before stays as it was.
        const std::string old_kept = "disk-store/takeF-6ch.wav";
        cases.push_back({.name = "a disk that fills mid-join keeps the old output", .inputs = {},
                         .args = {"-o", "disk", "takeF.wav"}, .status = 255,
                         .console = names("takeF.wav", "takeR.wav", at({"disk", "takeF-6ch.wav"})) + format(44100, 16) +
                                    ruler(out_size - 8) + std::string(33, '>') + "cannot write output file!\n",
                         .output = STANDARD_OUT, .setup = old_output(old_kept, STANDARD_OUT), .output_at = old_kept,
                         .build = pair, .disk = "--full takeF-6ch.wav.part:200000", .check = kept_date(old_kept)});
        cases.push_back({.name = "a folder that takes no new file: the output cannot be created", .inputs = {},
                         .args = {"-o", "disk", "takeF.wav"}, .status = 25,
                         .console = names("takeF.wav", "takeR.wav") + "cannot open output file!\n",
                         .output = STANDARD_OUT, .setup = old_output(old_kept, STANDARD_OUT), .output_at = old_kept,
                         .build = pair, .disk = "--no-new-files", .check = kept_date(old_kept)});
        cases.push_back({.name = "a read that fails keeps the old output", .inputs = {},
                         .args = {"disk/takeF.wav"}, .status = 255,
                         .console = names(at({"disk", "takeF.wav"}), at({"disk", "takeR.wav"}), at({"disk", "takeF-6ch.wav"})) +
                                    format(44100, 16) + ruler(3 * 1000000 + 60) + "cannot read input file!\n",
                         .output = STANDARD_OUT, .setup = old_output(old_kept, STANDARD_OUT), .output_at = old_kept,
                         .build = long_takes({"disk-store/take"}, 1000000), .disk = "--eio takeR.wav:600000",
                         .check = kept_date(old_kept)});
        cases.push_back({.name = "--dry-run onto a disk that gives no figure: no space line", .inputs = {},
                         .args = {"-n", "-o", "disk", "takeF.wav"}, .status = 0,
                         .console = "takeF.wav + takeR.wav -> " + at({"disk", "takeF-6ch.wav"}) + "\nwould join 1 of 1 takes\n",
                         .output = std::nullopt, .output_at = "disk-store/takeF-6ch.wav", .build = pair, .disk = ""});
    }
    // Several destinations: the inputs read once, every destination written at once, each the file
    // that one destination alone gets; one that fails stops alone.
    {
        const auto two_folders = [](const fs::path& dir) {
            fs::create_directory(dir / "A");
            fs::create_directory(dir / "B");
        };
        const std::string a = at({"A", "takeF-6ch.wav"}), b = at({"B", "takeF-6ch.wav"});
        const std::string two_lines = names("takeF.wav", "takeR.wav", a) + "6ch output wave file: " + b + "\n";
        const auto verified_at = [&](const std::string& path, const Bytes& output) {
            return "verifying " + path + "..." + verified(output).substr(std::string("verifying...").size());
        };
        const auto verified_join_at = [&](const std::string& path) {
            return "verifying " + path + "..." + VERIFIED_JOIN.substr(std::string("verifying...").size());
        };
        cases.push_back({.name = "two destinations, verified", .inputs = STANDARD,
                         .args = {"--verify", "-o", "A", "--output", "B", "takeF.wav"}, .status = 0,
                         .console = two_lines + format(44100, 16) + progress(1260, 50) + verified_at(a, STANDARD_OUT) +
                                    verified_at(b, STANDARD_OUT),
                         .output = STANDARD_OUT, .setup = two_folders, .output_at = "A/takeF-6ch.wav",
                         .outputs = {{"B/takeF-6ch.wav", STANDARD_OUT}}});
        cases.push_back({.name = "two destinations, one that cannot be created", .inputs = STANDARD,
                         .args = {"-o", "none/x.wav", "-o", "B", "takeF.wav"}, .status = 25,
                         .console = names("takeF.wav", "takeR.wav") + "none/x.wav: cannot open output file!\n" +
                                    "6ch output wave file: " + b + "\n" + format(44100, 16) + progress(1260, 50),
                         .output = STANDARD_OUT, .setup = two_folders, .output_at = "B/takeF-6ch.wav"});
        std::vector<std::pair<std::string, Bytes>> takes;
        for (const char* take : {"SR001", "SR002"})
            for (const auto& file : pair_of_named(std::string("card/") + take, FRONT, REAR)) takes.push_back(file);
        std::string console;
        for (int n = 1; n <= 2; ++n) {
            const std::string take = "SR00" + std::to_string(n), front = at({"card", take});
            const std::string out_a = at({"A", take + "F-6ch.wav"}), out_b = at({"B", take + "F-6ch.wav"});
            console += "take " + std::to_string(n) + " of 2\n" + names(front + "F.wav", front + "R.wav", out_a) +
                       "6ch output wave file: " + out_b + "\n" + format(44100, 16) + progress(1260, 50) +
                       verified_at(out_a, STANDARD_OUT) + verified_at(out_b, STANDARD_OUT) + "\n";
        }
        cases.push_back({.name = "two verified copies of a card", .inputs = takes, .args = {"--verify", "-o", "A", "-o", "B", "card"},
                         .status = 0, .console = console + "joined 2 of 2 takes, verified 4\n", .output = STANDARD_OUT,
                         .output_at = "A/SR001F-6ch.wav",
                         .outputs = {{"A/SR002F-6ch.wav", STANDARD_OUT}, {"B/SR001F-6ch.wav", STANDARD_OUT},
                                     {"B/SR002F-6ch.wav", STANDARD_OUT}}});
        // --mhl: a hash list at the root of each destination. Takes in folders whose names XML
        // must escape ('<' is no name on Windows), one that fails and is not listed.
        const std::string odd = windows_programs() ? "Forêt & nuit" : "Forêt & <nuit>";
        std::vector<std::pair<std::string, Bytes>> listed_takes = pair_of_named("card/F1/SR001", FRONT, REAR);
        listed_takes.push_back({"card/F1/SR002F.wav", stereo_wave(44100, 16, FRONT)});
        listed_takes.push_back({"card/F1/SR002R.wav", stereo_wave(48000, 16, REAR)});
        for (const auto& file : pair_of_named("card/" + odd + "/SR 003", FRONT, REAR)) listed_takes.push_back(file);
        std::string listed_console;
        for (int n = 1; n <= 3; ++n) {
            const std::vector<std::string> folder = {n == 3 ? odd : "F1"};
            const std::string take = n == 3 ? "SR 003" : "SR00" + std::to_string(n);
            const auto in = [&](const std::string& root, const std::string& name) {
                return at({root, folder[0], name});
            };
            listed_console += "take " + std::to_string(n) + " of 3\n" +
                              names(in("card", take + "F.wav"), in("card", take + "R.wav"), in("A", take + "F-6ch.wav")) +
                              "6ch output wave file: " + in("B", take + "F-6ch.wav") + "\n" +
                              (n == 2 ? format(44100, 16) + "front and rear formats differ!\n"
                                      : format(44100, 16) + progress(1260, 50) + verified_at(in("A", take + "F-6ch.wav"), STANDARD_OUT) +
                                            verified_at(in("B", take + "F-6ch.wav"), STANDARD_OUT)) +
                              "\n";
        }
        cases.push_back({.name = "--mhl: two copies of a card, each with its hash list", .inputs = listed_takes,
                         .args = {"--mhl", "-o", "A", "-o", "B", "card"}, .status = 1,
                         .console = listed_console + "joined 2 of 3 takes, verified 4\nnot joined: " +
                                    at({"card", "F1", "SR002F.wav"}) + ": front and rear formats differ!\nhash list: " +
                                    at({"A", "ascmhl", "0001_A_"}) + "...",
                         .output = STANDARD_OUT, .output_at = "A/F1/SR001F-6ch.wav",
                         .outputs = {{"B/" + odd + "/SR 003F-6ch.wav", STANDARD_OUT}},
                         .check = [odd](const fs::path& dir) {
                             for (const char* root : {"A", "B"})
                                 check_hash_list(dir, root, 1, {{"F1/SR001F-6ch.wav", "original"},
                                                                {odd + "/SR 003F-6ch.wav", "original"}});
                         }});
        // The same card a day later, with a take added: -u compares the first with its join anew.
        std::vector<std::pair<std::string, Bytes>> two_takes = pair_of_named("card/F1/SR001", FRONT, REAR);
        for (const auto& file : pair_of_named("card/F1/SR002", FRONT, REAR)) two_takes.push_back(file);
        const std::string sr1 = at({"card", "F1", "SR001"}), sr2 = at({"card", "F1", "SR002"});
        const std::string out1 = at({"A", "F1", "SR001F-6ch.wav"}), out2 = at({"A", "F1", "SR002F-6ch.wav"});
        cases.push_back({.name = "-u --mhl after a take was added: generation 2, the first take verified", .inputs = two_takes,
                         .args = {"-u", "--mhl", "-o", "A", "card"}, .status = 0,
                         .console = "take 1 of 2\n" + names(sr1 + "F.wav", sr1 + "R.wav", out1) + "already joined.\n" +
                                    verified(STANDARD_OUT) + "\ntake 2 of 2\n" + names(sr2 + "F.wav", sr2 + "R.wav", out2) +
                                    format(44100, 16) + progress(1260, 50) + verified(STANDARD_OUT) +
                                    "\njoined 2 of 2 takes (1 already), verified 2\nhash list: " + at({"A", "ascmhl", "0002_A_"}) +
                                    "...",
                         .output = STANDARD_OUT, .setup = [](const fs::path& dir) {
                             for (const char* file : {"SR002F.wav", "SR002R.wav"}) fs::rename(dir / "card/F1" / file, dir / file);
                             EXPECT_EQ(run_program(SIXJOIN_PATH, {"-q", "--mhl", "-o", "A", "card"}, dir).status, 0);
                             for (const char* file : {"SR002F.wav", "SR002R.wav"}) fs::rename(dir / file, dir / "card/F1" / file);
                             fs::copy_file(dir / "A/ascmhl/ascmhl_chain.xml", dir / "chain-1.xml");
                             fs::last_write_time(dir / "A/F1/SR001F-6ch.wav", fs::file_time_type::clock::now());
                         },
                         .output_at = "A/F1/SR002F-6ch.wav",
                         .check = [](const fs::path& dir) {
                             check_hash_list(dir, "A", 2, {{"F1/SR001F-6ch.wav", "verified"}, {"F1/SR002F-6ch.wav", "original"}});
                             const Bytes first = read_file(dir / "chain-1.xml"), now = read_file(dir / "A/ascmhl/ascmhl_chain.xml");
                             const std::string kept(first.begin(), first.end() - std::string("</ascmhldirectory>\n").size());
                             EXPECT_EQ(std::string(now.begin(), now.end()).substr(0, kept.size()), kept);
                         }});
        // A history that another tool began, its elements prefixed: the take it holds the same
        // hash for is verified; one it holds other bytes for is original, with a warning; one it
        // lists by MD5 alone is original.
        OutputHash join_hash;
        join_hash.add(STANDARD_OUT.data(), STANDARD_OUT.size());
        const std::string other_manifest =
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<m:hashlist version=\"2.0\" xmlns:m=\"urn:ASC:MHL:v2.0\">"
            "<m:creatorinfo><m:creationdate>2026-01-01T10:00:00Z</m:creationdate><m:hostname>cart</m:hostname>"
            "<m:tool version=\"2\">offload</m:tool></m:creatorinfo><m:processinfo><m:process>in-place</m:process>"
            "</m:processinfo><m:hashes>"
            "<m:hash><m:path size=\"1316\">F1/SR001F-6ch.wav</m:path><m:xxh128 action=\"original\">" + join_hash.hex() +
            "</m:xxh128></m:hash><m:hash><m:path>F1/SR002F-6ch.wav</m:path><m:xxh128 action=\"original\">" +
            std::string(32, '0') + "</m:xxh128></m:hash><m:hash><m:path>F1/SR003F-6ch.wav</m:path><m:md5>" +
            std::string(32, 'a') + "</m:md5></m:hash></m:hashes></m:hashlist>\n";
        const std::string other_chain = "<?xml version=\"1.0\"?>\n<ascmhldirectory xmlns=\"urn:ASC:MHL:DIRECTORY:v2.0\">"
                                        "<hashlist sequencenr=\"1\"><path>0001_takes_2026-01-01_100000Z.mhl</path>"
                                        "<c4>c4x</c4></hashlist></ascmhldirectory>";
        std::vector<std::pair<std::string, Bytes>> three_takes = two_takes;
        for (const auto& file : pair_of_named("card/F1/SR003", FRONT, REAR)) three_takes.push_back(file);
        std::string three_console;
        for (int n = 1; n <= 3; ++n) {
            const std::string take = "SR00" + std::to_string(n), front = at({"card", "F1", take});
            three_console += "take " + std::to_string(n) + " of 3\n" +
                             names(front + "F.wav", front + "R.wav", at({"A", "F1", take + "F-6ch.wav"})) + format(44100, 16) +
                             progress(1260, 50) + verified(STANDARD_OUT) + "\n";
        }
        const auto other_history = [=](const fs::path& dir) {
            fs::create_directories(dir / "A/ascmhl");
            write_file(dir / "A/ascmhl/0001_takes_2026-01-01_100000Z.mhl", text_bytes(other_manifest));
            write_file(dir / "A/ascmhl/ascmhl_chain.xml", text_bytes(other_chain));
        };
        cases.push_back({.name = "--mhl continues a history another tool began", .inputs = three_takes,
                         .args = {"--mhl", "-o", "A", "card"}, .status = 0,
                         .console = three_console + "joined 3 of 3 takes, verified 3\nwarning: " + at({"A", "F1", "SR002F-6ch.wav"}) +
                                    ": the hash list history holds other bytes under this name\nhash list: " +
                                    at({"A", "ascmhl", "0002_A_"}) + "...",
                         .output = STANDARD_OUT, .setup = other_history, .output_at = "A/F1/SR001F-6ch.wav",
                         .check = [=](const fs::path& dir) {
                             check_hash_list(dir, "A", 2, {{"F1/SR001F-6ch.wav", "verified"}, {"F1/SR002F-6ch.wav", "original"},
                                                           {"F1/SR003F-6ch.wav", "original"}});
                             EXPECT_TRUE(same_bytes(text_bytes(other_manifest),
                                                    read_file(dir / "A/ascmhl/0001_takes_2026-01-01_100000Z.mhl")));
                             const Bytes chain = read_file(dir / "A/ascmhl/ascmhl_chain.xml");
                             const std::string kept = other_chain.substr(0, other_chain.rfind("</ascmhldirectory>"));
                             EXPECT_EQ(std::string(chain.begin(), chain.end()).substr(0, kept.size()), kept);
                         }});
        // A chain cut short is no chain: left alone, the outputs whole and proven.
        const std::string cut_chain = other_chain.substr(0, other_chain.rfind("</hashlist>"));
        cases.push_back({.name = "--mhl leaves a broken chain alone", .inputs = two_takes, .args = {"--mhl", "-o", "A", "card"},
                         .status = 1,
                         .console = "take 1 of 2\n" + names(sr1 + "F.wav", sr1 + "R.wav", out1) + format(44100, 16) +
                                    progress(1260, 50) + verified(STANDARD_OUT) + "\ntake 2 of 2\n" +
                                    names(sr2 + "F.wav", sr2 + "R.wav", out2) + format(44100, 16) + progress(1260, 50) +
                                    verified(STANDARD_OUT) + "\njoined 2 of 2 takes, verified 2\nA: cannot extend the hash list!\n",
                         .output = STANDARD_OUT, .setup = [=](const fs::path& dir) {
                             fs::create_directories(dir / "A/ascmhl");
                             write_file(dir / "A/ascmhl/ascmhl_chain.xml", text_bytes(cut_chain));
                         },
                         .output_at = "A/F1/SR001F-6ch.wav", .outputs = {{"A/F1/SR002F-6ch.wav", STANDARD_OUT},
                                                                          {"A/ascmhl/ascmhl_chain.xml", text_bytes(cut_chain)}},
                         .check = [](const fs::path& dir) {
                             EXPECT_EQ(std::distance(fs::directory_iterator(dir / "A/ascmhl"), fs::directory_iterator()), 1);
                         }});
        // Bytes that are no UTF-8 name no file that XML can list (possible on Linux alone).
        if (!windows_programs()) {
            const std::string bad = at({"card", "\xff", "SR001"});
            cases.push_back({.name = "--mhl: a name that XML cannot carry is left out", .inputs = pair_of_named("card/\xff/SR001", FRONT, REAR),
                             .args = {"--mhl", "-o", "A", "card"}, .status = 1,
                             .console = "take 1 of 1\n" + names(bad + "F.wav", bad + "R.wav", "A/\xff/SR001F-6ch.wav") +
                                        format(44100, 16) + progress(1260, 50) + verified(STANDARD_OUT) +
                                        "\njoined 1 of 1 takes, verified 1\nA/\xff/SR001F-6ch.wav: cannot be listed in the hash list!\n",
                             .output = STANDARD_OUT, .output_at = "A/\xff/SR001F-6ch.wav",
                             .check = [](const fs::path& dir) { EXPECT_FALSE(fs::exists(dir / "A/ascmhl")); }});
        }
        const std::string usage = " - see sixjoin --help\n";
        for (const auto& [name, args, console] :
             {std::tuple{"-o - beside another -o", std::vector<std::string>{"-o", "A", "-o", "-", "takeF.wav"},
                         "option '-o -' goes with no other '-o'" + usage},
              std::tuple{"two -o naming one output", std::vector<std::string>{"-o", "A", "-o", "./A/takeF-6ch.wav", "takeF.wav"},
                         "options '-o A' and '-o ./A/takeF-6ch.wav' name the same place" + usage},
              std::tuple{"two -o naming one folder through a link", std::vector<std::string>{"-o", "A", "-o", "L", "card"},
                         "options '-o A' and '-o L' name the same place" + usage},
              std::tuple{"five -o", std::vector<std::string>{"-o", "1", "-o", "2", "-o", "3", "-o", "4", "-o", "5", "card"},
                         "option '-o' given more than 4 times" + usage},
              std::tuple{"--mhl with -o -", std::vector<std::string>{"--mhl", "-o", "-", "takeF.wav"},
                         "option '--mhl' lists the outputs in a folder, and standard output is none" + usage}}) {
            cases.push_back({.name = name, .inputs = STANDARD, .args = args, .status = 64, .console = console,
                             .output = std::nullopt, .setup = [](const fs::path& dir) {
                                 fs::create_directories(dir / "card/A");
                                 fs::create_directory_symlink("card/A", dir / "L");
                                 fs::create_directory_symlink("card/A", dir / "A");
                             }, .output_at = "card/A/takeF-6ch.wav"});
        }
        // Destinations on disks that lie: one gives a byte back changed, fills, or stalls.
        const std::uint64_t out_size = joined_size(100000);
        const std::string on_disk = at({"disk", "SR002F-6ch.wav"});
        std::string rotten;
        for (int n = 1; n <= 2; ++n) {
            const std::string take = "SR00" + std::to_string(n), to_disk = at({"disk", take + "F-6ch.wav"});
            rotten += "take " + std::to_string(n) + " of 2\n" +
                      names(at({"card", take + "F.wav"}), at({"card", take + "R.wav"}), to_disk) + "6ch output wave file: " +
                      at({"B", take + "F-6ch.wav"}) + "\n" + format(44100, 16) + progress(out_size - 8, 50) +
                      (n == 1 ? verified_join_at(to_disk)
                              : "verifying " + to_disk + "...\n\n0%---------------------50%--------------------100%\n" +
                                    std::string(50, '>') + to_disk + ": " + DOES_NOT_READ_BACK_LINE) +
                      verified_join_at(at({"B", take + "F-6ch.wav"})) + "\n";
        }
        cases.push_back({.name = "two destinations, one that gives a byte back changed", .inputs = {},
                         .args = {"--verify", "-o", "disk", "-o", "B", "card"}, .status = 1,
                         .console = rotten + "joined 1 of 2 takes, verified 3\nnot joined: " + at({"card", "SR002F.wav"}) +
                                    ": " + on_disk + ": " + DOES_NOT_READ_BACK_LINE,
                         .output = Bytes{}, .setup = two_folders, .output_at = "B/SR002F-6ch.wav",
                         .build = long_takes({"card/SR001", "card/SR002"}, 100000,
                                             {"disk-store/SR001F-6ch.wav", "disk-store/SR002F-6ch.wav"}),
                         .disk = "--rot SR002F-6ch.wav:202000"});
        cases.push_back({.name = "two destinations, one that fills", .inputs = {},
                         .args = {"-o", "disk", "-o", "B", "takeF.wav"}, .status = 255,
                         .console = names("takeF.wav", "takeR.wav", at({"disk", "takeF-6ch.wav"})) +
                                    "6ch output wave file: " + b + "\n" + format(44100, 16) + ruler(out_size - 8) +
                                    std::string(50, '>') + at({"disk", "takeF-6ch.wav"}) + ": cannot write output file!\ndone.\n",
                         .output = std::nullopt, .setup = two_folders,
                         .build = long_takes({"take"}, 100000, {"B/takeF-6ch.wav"}),
                         .disk = "--full takeF-6ch.wav.part:200000", .check = [](const fs::path& dir) {
                             EXPECT_FALSE(fs::exists(dir / "disk-store/takeF-6ch.wav"));
                         }});
        // 12 MB written to two disks; while one sleeps in a write, the other goes on past 4 MiB.
        const std::uint64_t long_size = joined_size(4000000);
        cases.push_back({.name = "two destinations, one that stalls", .inputs = {},
                         .args = {"-o", "disk", "-o", "disk2", "takeF.wav"}, .status = 0,
                         .console = names("takeF.wav", "takeR.wav", at({"disk", "takeF-6ch.wav"})) + "6ch output wave file: " +
                                    at({"disk2", "takeF-6ch.wav"}) + "\n" + format(44100, 16) + progress(long_size - 8, 50),
                         .output = std::nullopt,
                         .build = long_takes({"take"}, 4000000, {"disk-store/takeF-6ch.wav", "disk2-store/takeF-6ch.wav"}),
                         .disk = "--stall takeF-6ch.wav.part:100000:2",
                         .check = [](const fs::path& dir) {
                             const std::vector<std::string> lines = log_lines(dir / "disk.log");
                             const auto stall = std::find(lines.begin(), lines.end(), "stall /takeF-6ch.wav.part");
                             const auto stalled = std::find(stall, lines.end(), "stalled /takeF-6ch.wav.part");
                             ASSERT_NE(stalled, lines.end()) << "the disk never stalled";
                             std::uint64_t reached = 0;
                             for (auto line = stall; line != stalled; ++line) {
                                 std::uint64_t offset = 0, size = 0;
                                 if (std::sscanf(line->c_str(), "disk2 write /takeF-6ch.wav.part %" SCNu64 " %" SCNu64, &offset,
                                                 &size) == 2)
                                     reached = std::max(reached, offset + size);
                             }
                             EXPECT_GE(reached, 100000 + (4u << 20)) << "the other disk waited for the one that stalled";
                         },
                         .second_disk = ""});
        // -u: one destination up to date, the other missing; the inputs, on a disk that logs its
        // reads, are read once.
        cases.push_back({.name = "-u with one destination up to date: only the other written, the inputs read once",
                         .inputs = {},
                         .args = {"-u", "-o", "A", "-o", "B", "disk/takeF.wav"}, .status = 0,
                         .console = names(at({"disk", "takeF.wav"}), at({"disk", "takeR.wav"}), a) + "already joined.\n" +
                                    "6ch output wave file: " + b + "\n" + format(44100, 16) + progress(long_size - 8, 50),
                         .output = std::nullopt, .setup = [=](const fs::path& dir) {
                             fs::create_directory(dir / "B");
                             write_old(dir / "A/takeF-6ch.wav", six_channel_wave(44100, 16, pattern(4000000, 41),
                                                                                 pattern(4000000, 42)));
                             fs::last_write_time(dir / "A/takeF-6ch.wav", DAY_BEFORE + std::chrono::hours(48));
                         },
                         .build = long_takes({"disk-store/take"}, 4000000, {"A/takeF-6ch.wav", "B/takeF-6ch.wav"}),
                         .disk = "",
                         .check = [=](const fs::path& dir) {
                             EXPECT_EQ(fs::last_write_time(dir / "A/takeF-6ch.wav"), DAY_BEFORE + std::chrono::hours(48));
                             std::uint64_t read = 0;
                             for (const std::string& line : log_lines(dir / "disk.log")) {
                                 std::uint64_t offset = 0, size = 0;
                                 if (std::sscanf(line.c_str(), "read /takeF.wav %" SCNu64 " %" SCNu64, &offset, &size) == 2)
                                     read += size;
                             }
                             EXPECT_LT(read, 4000000 * 3 / 2) << "the front was read more than once";
                         }});
    }
    // Interrupted half-way through a long take: the output goes, the inputs stay, status 130.
    {
        constexpr std::uint64_t GIB = 1ull << 30;
        const auto long_take = [](const std::string& front, const std::string& rear, std::uint64_t length = std::uint64_t{1} << 30) {
            return [=](const fs::path& dir) {
                make_sparse_take(dir / front, length, FRONT);
                make_sparse_take(dir / rear, length, REAR);
            };
        };
        // Nothing left but the inputs, as they were.
        const auto only_inputs = [](std::vector<std::string> inputs) {
            return [=](const fs::path& dir) {
                std::vector<std::string> left;
                for (const auto& entry : fs::recursive_directory_iterator(dir))
                    if (!entry.is_directory()) left.push_back(fs::relative(entry.path(), dir).string());
                std::sort(left.begin(), left.end());
                EXPECT_EQ(left, inputs);
                for (const std::string& name : inputs)
                    if (name.find("SR003") != std::string::npos || name.starts_with("take")) {
                        EXPECT_EQ(fs::file_size(dir / name), 44 + GIB) << name;
                    }
            };
        };
        const std::string cut = PAIR + format(44100, 16) + ruler(3 * GIB + 60) + ">interrupted!\n";
        for (const auto& [name, signal] : {std::pair{"SIGINT half-way", SIGINT}, {"SIGTERM half-way", SIGTERM},
                                           {"SIGHUP half-way", SIGHUP}}) {
            cases.push_back({.name = name, .inputs = {}, .args = {"takeF.wav"}, .status = 130, .console = cut,
                             .output = std::nullopt, .setup = long_take("takeF.wav", "takeR.wav"), .interrupt = signal,
                             .check = only_inputs({"takeF.wav", "takeR.wav"})});
        }
        cases.push_back({.name = "-o - interrupted: the pipe ends short", .inputs = {}, .args = {"-o", "-", "takeF.wav"},
                         .status = 130,
                         .console = to_stdout + format(44100, 16) + ruler(3 * GIB + 60) + ">interrupted!\n",
                         .output = wave_start(GIB, FRONT, REAR), .setup = long_take("takeF.wav", "takeR.wav"),
                         .output_at = "head.bin", .pipe_to = "{ head -c 4096 >head.bin; cat >/dev/null; }",
                         .interrupt = SIGINT});
        std::vector<std::pair<std::string, Bytes>> takes;
        for (const char* take : {"SR001", "SR002", "SR004"})
            for (const auto& file : pair_of_named(std::string("card/") + take, FRONT, REAR)) takes.push_back(file);
        std::string console;
        for (int n = 1; n <= 2; ++n) {
            const std::string take = at({"card", "SR00" + std::to_string(n)});
            console += "take " + std::to_string(n) + " of 4\n" + names(take + "F.wav", take + "R.wav", take + "F-6ch.wav") +
                       format(44100, 16) + progress(1260, 50) + "\n";
        }
        const std::string sr3 = at({"card", "SR003"});
        cases.push_back({.name = "a card interrupted in its third take", .inputs = takes, .args = {"card"}, .status = 130,
                         .console = console + "take 3 of 4\n" + names(sr3 + "F.wav", sr3 + "R.wav", sr3 + "F-6ch.wav") +
                                    format(44100, 16) + ruler(3 * GIB + 60) + ">interrupted!\n\njoined 2 of 4 takes\n" +
                                    "not joined: " + sr3 + "F.wav: interrupted!\ninterrupted: 1 takes not reached\n",
                         .output = std::nullopt, .setup = long_take("card/SR003F.wav", "card/SR003R.wav"),
                         .output_at = "card/SR003F-6ch.wav",
                         .outputs = {{"card/SR001F-6ch.wav", STANDARD_OUT}, {"card/SR002F-6ch.wav", STANDARD_OUT}},
                         .interrupt = SIGINT, .interrupt_after = "take 3 of 4",
                         .check = only_inputs({"card/SR001F-6ch.wav", "card/SR001F.wav", "card/SR001R.wav",
                                               "card/SR002F-6ch.wav", "card/SR002F.wav", "card/SR002R.wav",
                                               "card/SR003F.wav", "card/SR003R.wav", "card/SR004F.wav",
                                               "card/SR004R.wav"})});
        // With --mhl, what was proven before the stop is listed before the summary.
        std::string proven_console;
        for (int n = 1; n <= 2; ++n) {
            const std::string take = at({"card", "SR00" + std::to_string(n)});
            proven_console += "take " + std::to_string(n) + " of 4\n" +
                              names(take + "F.wav", take + "R.wav", take + "F-6ch.wav") + format(44100, 16) +
                              progress(1260, 50) + verified(STANDARD_OUT) + "\n";
        }
        cases.push_back({.name = "a card interrupted in its third take, with --mhl", .inputs = takes, .args = {"--mhl", "card"},
                         .status = 130,
                         .console = proven_console + "take 3 of 4\n" + names(sr3 + "F.wav", sr3 + "R.wav", sr3 + "F-6ch.wav") +
                                    format(44100, 16) + ruler(3 * GIB + 60) + ">interrupted!\n\nhash list: " +
                                    at({"card", "ascmhl", "0001_card_"}) + "...",
                         .output = STANDARD_OUT, .setup = long_take("card/SR003F.wav", "card/SR003R.wav"),
                         .output_at = "card/SR002F-6ch.wav", .outputs = {{"card/SR001F-6ch.wav", STANDARD_OUT}},
                         .interrupt = SIGINT, .interrupt_after = "take 3 of 4", .check = [](const fs::path& dir) {
                             check_hash_list(dir, "card", 1, {{"SR001F-6ch.wav", "original"}, {"SR002F-6ch.wav", "original"}});
                             EXPECT_FALSE(fs::exists(dir / "card/SR003F-6ch.wav"));
                         }});
        // After "done." the output is whole: an interrupted read-back keeps it.
        cases.push_back({.name = "SIGINT during --verify's read-back", .inputs = {}, .args = {"--verify", "takeF.wav"},
                         .status = 130,
                         .console = PAIR + format(44100, 16) + progress(3 * GIB + 60, 50) + VERIFYING + ">interrupted!\n",
                         .output = std::nullopt, .setup = long_take("takeF.wav", "takeR.wav"), .check_output = false,
                         .interrupt = SIGINT, .interrupt_after = "verifying...", .check = [](const fs::path& dir) {
                             EXPECT_EQ(fs::file_size(dir / "takeF-6ch.wav"), 3 * GIB + 68);
                             EXPECT_EQ(fs::file_size(dir / "takeF.wav"), 44 + GIB);
                         }});
        // What the output's name held stays through a stop; only a kill leaves a .part, which the
        // next run replaces, or removes when -u passes the take over. Takes of 256 MiB.
        constexpr std::uint64_t QUARTER = GIB / 4;
        const std::string quarter_cut = PAIR + format(44100, 16) + ruler(3 * QUARTER + 60) + ">";
        const Bytes old_join = wave_start(QUARTER, FRONT, REAR);
        const auto rerun = [](const fs::path& dir, const std::vector<std::string>& args, const std::string& console) {
            const RunResult run = run_program(SIXJOIN_PATH, args, dir);
            EXPECT_EQ(run.status, 0) << run.out;
            EXPECT_TRUE(console_matches(console, run.out));
            EXPECT_EQ(fs::file_size(dir / "takeF-6ch.wav"), 3 * QUARTER + 68);
            EXPECT_FALSE(fs::exists(dir / "takeF-6ch.wav.part"));
        };
        const std::string rerun_joined = BANNER + PAIR + format(44100, 16) + progress(3 * QUARTER + 60, 50);
        cases.push_back({.name = "SIGINT keeps the output it would have replaced", .inputs = {}, .args = {"takeF.wav"},
                         .status = 130, .console = quarter_cut + "interrupted!\n", .output = STANDARD_OUT,
                         .setup = [=](const fs::path& dir) {
                             long_take("takeF.wav", "takeR.wav", QUARTER)(dir);
                             write_old(dir / "takeF-6ch.wav", STANDARD_OUT);
                         },
                         .interrupt = SIGINT, .check = kept_date("takeF-6ch.wav")});
        cases.push_back({.name = "SIGKILL leaves a .part, which a rerun with -u replaces", .inputs = {},
                         .args = {"takeF.wav"}, .status = 1000 + SIGKILL, .console = quarter_cut, .output = std::nullopt,
                         .setup = long_take("takeF.wav", "takeR.wav", QUARTER), .check_output = false,
                         .interrupt = SIGKILL, .check = [=](const fs::path& dir) {
                             EXPECT_FALSE(fs::exists(dir / "takeF-6ch.wav"));
                             EXPECT_TRUE(fs::exists(dir / "takeF-6ch.wav.part"));
                             rerun(dir, {"-u", "takeF.wav"}, rerun_joined);
                         }});
        cases.push_back({.name = "SIGKILL keeps the old join; -u passes it over and removes the .part, a rerun joins",
                         .inputs = {}, .args = {"takeF.wav"}, .status = 1000 + SIGKILL, .console = quarter_cut,
                         .output = std::nullopt,
                         .setup = [=](const fs::path& dir) {
                             long_take("takeF.wav", "takeR.wav", QUARTER)(dir);
                             write_file(dir / "takeF-6ch.wav", old_join);
                             fs::resize_file(dir / "takeF-6ch.wav", 3 * QUARTER + 68);
                         },
                         .check_output = false, .interrupt = SIGKILL, .check = [=](const fs::path& dir) {
                             Bytes start = read_file(dir / "takeF-6ch.wav");
                             start.resize(old_join.size());
                             EXPECT_TRUE(same_bytes(old_join, start));
                             EXPECT_TRUE(fs::exists(dir / "takeF-6ch.wav.part"));
                             rerun(dir, {"-u", "takeF.wav"}, BANNER + PAIR + "already joined.\n");
                             rerun(dir, {"takeF.wav"}, rerun_joined);
                         }});
        cases.push_back({.name = "SIGINT half-way with two destinations", .inputs = {},
                         .args = {"-o", "A", "-o", "B", "takeF.wav"}, .status = 130,
                         .console = names("takeF.wav", "takeR.wav", at({"A", "takeF-6ch.wav"})) + "6ch output wave file: " +
                                    at({"B", "takeF-6ch.wav"}) + "\n" + format(44100, 16) + ruler(3 * QUARTER + 60) +
                                    ">interrupted!\n",
                         .output = std::nullopt, .setup = [=](const fs::path& dir) {
                             long_take("takeF.wav", "takeR.wav", QUARTER)(dir);
                             fs::create_directory(dir / "A");
                             fs::create_directory(dir / "B");
                         },
                         .interrupt = SIGINT, .check = [](const fs::path& dir) {
                             EXPECT_TRUE(fs::is_empty(dir / "A"));
                             EXPECT_TRUE(fs::is_empty(dir / "B"));
                         }});
        if (!windows_programs() && geteuid() == 0) {
            // A device the run did not create: written in place, and never removed.
            cases.push_back({.name = "a device node interrupted stays", .inputs = {}, .args = {"-o", "null", "takeF.wav"},
                             .status = 130,
                             .console = names("takeF.wav", "takeR.wav", "null") + format(44100, 16) +
                                        ruler(3 * GIB + 60) + ">interrupted!\n",
                             .output = std::nullopt, .setup = [=](const fs::path& dir) {
                                 long_take("takeF.wav", "takeR.wav")(dir);
                                 ASSERT_EQ(std::system(("mknod '" + (dir / "null").string() + "' c 1 3").c_str()), 0);
                             },
                             .check_output = false, .interrupt = SIGINT, .check = [](const fs::path& dir) {
                                 EXPECT_EQ(fs::status(dir / "null").type(), fs::file_type::character);
                             }});
        }
    }
    // On Windows a backslash ends a folder's name, so the folder's dot is no extension.
    if (windows_programs())
        cases.push_back({.name = "a backslash path through a folder with a dot",
                         .inputs = pair_of_named("rec.d/take", FRONT, REAR),
                         .args = {"rec.d\\takeF.wav"}, .status = 0,
                         .console = names("rec.d\\takeF.wav", "rec.d\\takeR.wav", "rec.d\\takeF-6ch.wav") +
                                    format(44100, 16) + progress(1260, 50),
                         .output = STANDARD_OUT, .output_at = "rec.d/takeF-6ch.wav"});
    return cases;
}

void PrintTo(const JoinCase& c, std::ostream* out) { *out << c.name; }

class JoinTest : public ::testing::TestWithParam<JoinCase> {};

TEST_P(JoinTest, StatusConsoleAndFiles) {
    JoinCase c = GetParam();
    if (c.interrupt && windows_programs()) GTEST_SKIP() << "interruptions are tested on Linux only";
    if ((c.disk || c.second_disk) && !RottingDisk::missing().empty())
        GTEST_SKIP() << "the disk that lies needs " << RottingDisk::missing() << ": this row did not run";
    if (!c.wrapper.empty() && (windows_programs() || !installed(c.wrapper[0])))
        GTEST_SKIP() << "needs " << c.wrapper[0] << " and a native build: this row did not run";
    if (c.build) c.build(c);
    TempDir dir;
    std::optional<SmallDisk> small_disk;
    if (c.small_disk) {
        small_disk.emplace(dir.path(), *c.small_disk);
        if (!small_disk->mounted()) GTEST_SKIP() << "a small disk needs a tmpfs mount (root): this row did not run";
    }
    for (const auto& [name, bytes] : c.inputs) {
        fs::create_directories((dir / name).parent_path());
        write_file(dir / name, bytes);
    }
    if (c.setup) c.setup(dir.path());
    std::optional<RottingDisk> disk, second_disk;
    if (c.disk) {
        disk.emplace(dir.path(), *c.disk);
        ASSERT_TRUE(disk->mounted()) << "rotting_disk.py did not mount";
    }
    if (c.second_disk) {
        second_disk.emplace(dir.path(), "--label disk2 " + *c.second_disk, "disk2");
        ASSERT_TRUE(second_disk->mounted()) << "rotting_disk.py did not mount a second disk";
    }

    std::optional<std::chrono::steady_clock::time_point> signalled;
    const Watch interrupt = [&](pid_t group, const RunResult& so_far) {
        const std::string& console = c.audio_on_stdout || !c.pipe_to.empty() ? so_far.err : so_far.out;
        const std::size_t after = console.find(c.interrupt_after);
        if (signalled || after == std::string::npos ||
            std::count(console.begin() + static_cast<std::ptrdiff_t>(after), console.end(), '>') < 25)
            return;
        signalled = std::chrono::steady_clock::now();
        kill(-group, c.interrupt);
    };
    std::vector<std::string> wrapped = c.wrapper;
    if (!wrapped.empty()) wrapped.push_back(SIXJOIN_PATH);
    RunResult run =
        c.pipe_to.empty()
            ? run_program(wrapped.empty() ? SIXJOIN_PATH : wrapped[0],
                          wrapped.empty() ? c.args : joined_args({wrapped.begin() + 1, wrapped.end()}, c.args),
                          dir.path(), c.file_size_limit, c.environment, c.audio_on_stdout,
                          c.interrupt ? interrupt : Watch())
            : run_program("/bin/bash",
                          joined_args({"-c", "trap : INT; '" SIXJOIN_PATH "' \"$@\" | " + c.pipe_to + "; exit ${PIPESTATUS[0]}", "-"},
                                      c.args),
                          dir.path(), NO_FILE_SIZE_LIMIT, {}, false, c.interrupt ? interrupt : Watch());
    if (c.interrupt) {
        ASSERT_TRUE(signalled) << "the run ended before it was interrupted";
        // The program's promise is a second (the benchmark measures it); a loaded machine may take
        // longer to schedule it, and the row's status and files show that it stopped short.
        EXPECT_LT(std::chrono::steady_clock::now() - *signalled, std::chrono::seconds(10));
    }

    EXPECT_EQ(run.status, c.status);
    const std::string console = (c.quiet ? "" : BANNER) + c.console;
    const bool console_on_stderr = c.audio_on_stdout || !c.pipe_to.empty();
    const std::string& said = console_on_stderr ? run.err : run.out;
    EXPECT_TRUE(c.interrupt ? console_matches(any_marks(console), any_marks(said))
                            : console_matches(console, any_free_space(said)));
    // The other stream carries the file's bytes, or nothing at all.
    const std::string& other = console_on_stderr ? run.out : run.err;
    Bytes carried(other.begin(), other.end());
    if (c.interrupt && c.audio_on_stdout && c.output) carried.resize(std::min(carried.size(), c.output->size()));
    EXPECT_TRUE(same_bytes(c.audio_on_stdout && c.output ? *c.output : Bytes{}, carried));
    for (const auto& [name, bytes] : c.inputs) EXPECT_TRUE(same_bytes(bytes, read_file(dir / name))) << name;
    // The hash that --verify gives is the one xxh128sum gives for the file.
    const std::string verified_line = "verified:             XXH3-128 ";
    if (const std::size_t at = said.rfind(verified_line); at != std::string::npos && !c.audio_on_stdout && installed("xxh128sum")) {
        EXPECT_EQ(output_of("xxh128sum '" + (dir / c.output_at).string() + "'").substr(0, 32),
                  said.substr(at + verified_line.size(), 32));
    }
    if (c.check) c.check(dir.path());
    // An output appears whole or not at all: only a kill leaves its .part.
    std::vector<std::string> parts;
    for (const auto& entry : fs::recursive_directory_iterator(dir.path()))
        if (entry.path().extension() == ".part") parts.push_back(fs::relative(entry.path(), dir.path()).string());
    std::sort(parts.begin(), parts.end());
    EXPECT_EQ(parts, c.parts_left);
    if (!c.check_output) return;
    if (c.audio_on_stdout) {
        EXPECT_FALSE(fs::exists(dir / c.output_at));
    } else if (c.output && (c.file_size_limit != NO_FILE_SIZE_LIMIT || !c.pipe_to.empty())) {
        // Stopped by the limit: the header and as much audio as the limit let through.
        const Bytes written = read_file(dir / c.output_at);
        EXPECT_GE(written.size(), 104u);
        EXPECT_TRUE(same_bytes(Bytes(c.output->begin(), c.output->begin() + std::min(written.size(), c.output->size())),
                               written));
    } else if (c.output) {
        EXPECT_TRUE(same_bytes(*c.output, read_file(dir / c.output_at)));
    } else {
        EXPECT_FALSE(fs::exists(dir / c.output_at));
    }
    for (const auto& [name, bytes] : c.outputs) {
        EXPECT_TRUE(fs::exists(dir / name)) << name;
        EXPECT_TRUE(same_bytes(bytes, read_file(dir / name))) << name;
    }
}

INSTANTIATE_TEST_SUITE_P(Runs, JoinTest, ::testing::ValuesIn(join_cases()),
                         [](const auto& info) { return test_name(info.param.name); });

// A full run one frame past what a WAVE file holds: a 4.3 GB RF64 file, checked at both ends,
// read back from the disk by --verify (natively: under Wine the read-back would double a long
// run), and read by sox and xxh128sum. Labelled "long": it writes the whole file.
TEST(LongTake, OneFramePastWaveIsRf64) {
    constexpr std::uint64_t length = 1431655748;
    TempDir dir;
    const Bytes end_front = pattern(4096, 3), end_rear = pattern(4096, 4);
    for (const auto& [name, start, end] : {std::tuple{"takeF.wav", FRONT, end_front}, std::tuple{"takeR.wav", REAR, end_rear}}) {
        make_sparse_take(dir / name, length, start);
        std::fstream file(dir / name, std::ios::binary | std::ios::in | std::ios::out);
        file.seekp(static_cast<std::streamoff>(44 + length - end.size()));
        file.write(reinterpret_cast<const char*>(end.data()), static_cast<std::streamsize>(end.size()));
    }

    const bool verify = !windows_programs();
    RunResult run = run_program(SIXJOIN_PATH, verify ? std::vector<std::string>{"--verify", "takeF.wav"}
                                                     : std::vector<std::string>{"takeF.wav"},
                                dir.path());

    EXPECT_EQ(run.status, 0);
    const std::string joined = BANNER + PAIR + format(44100, 16) + progress(3 * length + 96, 50);
    const std::string bar = VERIFYING + std::string(50, '>') + "\nverified:             XXH3-128 ";
    EXPECT_TRUE(console_matches(verify ? joined + bar + "..." : joined, run.out));
    EXPECT_EQ(run.err, "");
    const fs::path out = dir / "takeF-6ch.wav";
    ASSERT_EQ(fs::file_size(out), 104 + 3 * length);
    const Bytes start = rf64_start(length, FRONT, REAR);
    const Bytes end = six_channel_audio(16, end_front, end_rear);
    Bytes head(start.size()), tail(end.size());
    std::ifstream file(out, std::ios::binary);
    file.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
    file.seekg(-static_cast<std::streamoff>(tail.size()), std::ios::end);
    file.read(reinterpret_cast<char*>(tail.data()), static_cast<std::streamsize>(tail.size()));
    EXPECT_TRUE(same_bytes(start, head));
    EXPECT_TRUE(same_bytes(end, tail));
    if (verify && installed("xxh128sum")) {
        EXPECT_EQ(run.out.substr(joined.size() + bar.size()),
                  output_of("xxh128sum '" + out.string() + "'").substr(0, 32) + "\n");
    }
    if (!installed("soxi")) GTEST_SKIP() << "soxi is not installed: the RF64 output was not read back";
    EXPECT_EQ(output_of("soxi -c '" + out.string() + "'"), "6\n");
    EXPECT_EQ(output_of("soxi -s '" + out.string() + "'"), std::to_string(length / 4) + "\n");
}

TEST(JoinFullDisk, AWriteThatFailsIsNeverDone) {
    TempDir dir;
    const Bytes front = pattern(80000, 1), rear = pattern(80000, 2);
    write_file(dir / "takeF.wav", stereo_wave(44100, 16, front));
    write_file(dir / "takeR.wav", stereo_wave(44100, 16, rear));

    RunResult run = run_program(SIXJOIN_PATH, {"takeF.wav"}, dir.path(), 100000);

    EXPECT_EQ(run.status, 255);
    const std::string message = "cannot write output file!\n";
    ASSERT_GE(run.out.size(), message.size());
    EXPECT_EQ(run.out.substr(run.out.size() - message.size()), message);
    EXPECT_EQ(run.out.find("done."), std::string::npos);
    EXPECT_FALSE(fs::exists(dir / "takeF-6ch.wav"));
    EXPECT_FALSE(fs::exists(dir / "takeF-6ch.wav.part"));
}

}  // namespace

namespace {

// No audio onto a terminal: refused once the command line is read, before the front (missing
// here) is opened. A pseudo-terminal from script(1) stands for the console.
TEST(JoinToTerminal, IsRefusedBeforeAnyFileIsOpened) {
    if (windows_programs() || !installed("script")) GTEST_SKIP() << "needs script(1) and a native build";
    TempDir dir;
    RunResult run = run_program("/usr/bin/script", {"-qec", "'" SIXJOIN_PATH "' -o - missingF.wav", "/dev/null"},
                                dir.path());
    EXPECT_EQ(run.status, 25);
    std::string console;
    for (char c : run.out)
        if (c != '\r') console += c;
    EXPECT_EQ(console, BANNER + "cannot write audio to a terminal!\n");
}

}  // namespace
