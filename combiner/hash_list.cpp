#include "combiner/hash_list.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <system_error>
#include <utility>

#include "combiner/destination.h"
#include "wavefile/platform/files.h"
#include "wavefile/platform/host_name.h"
#include "wavefile/platform/local_time.h"
#include "wavefile/platform/sha512.h"
#include "wavefile/platform/xml_reader.h"
#include "wavefile/report.h"

namespace fs = std::filesystem;

namespace {
constexpr char TOOL_VERSION[] = "1.4";
// No manifest of a history is read past this: a larger one is taken as listing nothing.
constexpr std::size_t LARGEST_MANIFEST = 256 * 1024 * 1024;

// The whole of a file, when it can be read and is no longer than `limit`.
std::optional<std::string> read_whole(const std::string& path, std::size_t limit) {
    const OwnedFile file(open_regular_file(path, "rb"));
    if (!file) return std::nullopt;
    std::string bytes;
    char block[65536];
    for (std::size_t got; (got = std::fread(block, 1, sizeof block, file.get())) > 0;) {
        bytes.append(block, got);
        if (bytes.size() > limit) return std::nullopt;
    }
    if (std::ferror(file.get())) return std::nullopt;
    return bytes;
}

// Whether XML 1.0 can carry text: well-formed UTF-8 with no control character.
bool xml_can_carry(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        const auto byte = static_cast<unsigned char>(text[at]);
        if (byte < 0x20 || byte == 0x7F) return false;
        const std::size_t length = byte < 0x80 ? 1 : (byte >> 5) == 0x6 ? 2 : (byte >> 4) == 0xE ? 3 : (byte >> 3) == 0x1E ? 4 : 0;
        if (length == 0 || at + length > text.size()) return false;
        std::uint32_t point = length == 1 ? byte : byte & (0x7F >> length);
        for (std::size_t next = 1; next < length; ++next) {
            const auto continuation = static_cast<unsigned char>(text[at + next]);
            if ((continuation >> 6) != 0x2) return false;
            point = point << 6 | (continuation & 0x3F);
        }
        // No overlong form, no surrogate, nothing past U+10FFFF.
        const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (point < least[length] || (point >= 0xD800 && point <= 0xDFFF) || point > 0x10FFFF) return false;
        at += length;
    }
    return true;
}

std::string escaped(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (c == '&') out += "&amp;";
        else if (c == '<') out += "&lt;";
        else if (c == '>') out += "&gt;";
        else if (c == '"') out += "&quot;";
        else out += c;
    }
    return out;
}

// xs:dateTime in local time with its offset: 2026-12-11T13:07:02+01:00.
std::string date_time(std::time_t time) {
    const CalendarTime local = local_time(time);
    const int offset = local.offset_minutes < 0 ? -local.offset_minutes : local.offset_minutes;
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d", local.year, local.month, local.day,
                  local.hour, local.minute, local.second, local.offset_minutes < 0 ? '-' : '+', offset / 60, offset % 60);
    return text;
}

// The root folder's own name, as a manifest's file name carries it.
std::string root_name(const std::string& root) {
    std::error_code error;
    fs::path path = fs::weakly_canonical(fs::absolute(path_of(root), error), error);
    if (!path.has_filename()) path = path.parent_path();
    const std::string name = name_of(path.filename());
    return name.empty() || !xml_can_carry(name) ? "root" : name;
}

// NNNN_<root name>_<YYYY-MM-DD>_<HHMMSS>Z.mhl
std::string manifest_name(unsigned generation, const std::string& root, std::time_t time) {
    const CalendarTime utc = utc_time(time);
    char stamp[40];
    std::snprintf(stamp, sizeof stamp, "_%04d-%02d-%02d_%02d%02d%02dZ.mhl", utc.year, utc.month, utc.day, utc.hour,
                  utc.minute, utc.second);
    char number[16];
    std::snprintf(number, sizeof number, "%04u_", generation);
    return number + root_name(root) + stamp;
}

// The generation number a manifest's file name begins with: four digits or more, then '_'.
std::optional<unsigned> generation_of(std::string_view name) {
    const std::size_t digits = name.find_first_not_of("0123456789");
    if (digits < 4 || digits > 9 || name[digits] != '_' || !name.ends_with(".mhl")) return std::nullopt;
    return static_cast<unsigned>(std::stoul(std::string(name.substr(0, digits))));
}

// What a root's history holds, as far as a new generation needs it.
struct History {
    unsigned next = 1;                                // the new generation's number
    std::string chain;                                // the chain's bytes; empty when there is none
    std::map<std::string, std::string> first_original;  // each path's first original xxh128, in generation order
};

// Nothing when the history cannot be extended: a chain that is not a chain document.
std::optional<History> read_history(const std::string& folder) {
    History history;
    std::map<unsigned, std::string> manifests;  // by generation
    const std::string chain_path = inside_folder(folder, HASH_LIST_CHAIN);
    if (path_kind(chain_path) != PathKind::missing) {
        const std::optional<std::string> chain = read_whole(chain_path, LARGEST_MANIFEST);
        if (!chain || chain->find("</ascmhldirectory>") == std::string::npos) return std::nullopt;
        const std::optional<std::vector<XmlElement>> elements = read_xml(*chain);
        if (!elements || elements->empty() || elements->front().name != "ascmhldirectory") return std::nullopt;
        for (std::size_t at = 0; at < elements->size(); ++at) {
            const XmlElement& entry = (*elements)[at];
            if (entry.name != "hashlist" || entry.depth != 1) continue;
            const std::optional<std::string> number = entry.attribute("sequencenr");
            if (!number || number->empty() || number->find_first_not_of("0123456789") != std::string::npos ||
                number->size() > 9)
                return std::nullopt;
            std::string path;
            for (std::size_t child = at + 1; child < elements->size() && (*elements)[child].depth > 1; ++child)
                if ((*elements)[child].name == "path" && (*elements)[child].depth == 2) path = (*elements)[child].text;
            manifests[static_cast<unsigned>(std::stoul(*number))] = path;
        }
        history.chain = *chain;
    }
    if (const std::optional<std::vector<FolderEntry>> entries = list_folder(folder))
        for (const FolderEntry& entry : *entries)
            if (const std::optional<unsigned> number = generation_of(entry.name); number && entry.kind == FolderEntry::Kind::file)
                manifests.emplace(*number, entry.name);
    if (!manifests.empty()) history.next = manifests.rbegin()->first + 1;

    // What earlier generations hold for each path: one that cannot be read holds nothing.
    for (const auto& [number, name] : manifests) {
        if (name.find('/') != std::string::npos || name.find('\\') != std::string::npos) continue;
        const std::optional<std::string> bytes = read_whole(inside_folder(folder, name), LARGEST_MANIFEST);
        const std::optional<std::vector<XmlElement>> elements = bytes ? read_xml(*bytes) : std::nullopt;
        if (!elements) continue;
        std::string path;
        int hash_depth = -1;
        for (const XmlElement& element : *elements) {
            if (element.name == "hash") {
                hash_depth = element.depth;
                path.clear();
            } else if (element.depth == hash_depth + 1 && element.name == "path") {
                path = element.text;
            } else if (element.depth == hash_depth + 1 && element.name == "xxh128" && !path.empty() &&
                       element.attribute("action").value_or("original") == "original") {
                history.first_original.emplace(path, element.text);
            }
        }
    }
    return history;
}

// One generation's manifest.
std::string manifest_text(const std::vector<std::string>& hashes, std::time_t created) {
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<hashlist version=\"2.0\" xmlns=\"urn:ASC:MHL:v2.0\">\n";
    text += "  <creatorinfo>\n    <creationdate>" + date_time(created) + "</creationdate>\n";
    text += "    <hostname>" + escaped(host_name()) + "</hostname>\n";
    text += "    <tool version=\"" + std::string(TOOL_VERSION) + "\">sixjoin</tool>\n  </creatorinfo>\n";
    text += "  <processinfo>\n    <process>transfer</process>\n  </processinfo>\n  <hashes>\n";
    for (const std::string& hash : hashes) text += hash;
    return text + "  </hashes>\n</hashlist>\n";
}

std::string chain_entry(unsigned generation, const std::string& manifest, const std::string& c4) {
    return "  <hashlist sequencenr=\"" + std::to_string(generation) + "\">\n    <path>" + escaped(manifest) +
           "</path>\n    <c4>" + c4 + "</c4>\n  </hashlist>\n";
}

// Puts bytes under path as an output is placed: written aside, flushed, renamed over it, its
// folder flushed. False when a step fails; the path then keeps what it held.
bool place_file(const std::string& path, const std::string& bytes) {
    Destination file(path);
    return file.create() && std::fwrite(bytes.data(), 1, bytes.size(), file.file()) == bytes.size() && file.place(true);
}
}  // namespace

std::string c4_id(std::string_view bytes) {
    const Sha512Digest digest = sha512(bytes);
    static const char DIGITS[] = "123456789ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz";
    // The digest as a big-endian number, divided by 58 again and again: its digits, last first.
    std::vector<unsigned> number(digest.begin(), digest.end());
    std::string id(88, '1');
    for (std::size_t place = 88; place-- > 0;) {
        unsigned remainder = 0;
        for (unsigned& byte : number) {
            const unsigned value = remainder * 256 + byte;
            byte = value / 58;
            remainder = value % 58;
        }
        id[place] = DIGITS[remainder];
    }
    return "c4" + id;
}

HashLists::HashLists(std::vector<std::string> roots) {
    for (std::string& root : roots) roots_.push_back({std::move(root), {}});
}

void HashLists::prove(const std::string& output, const std::string& xxh128) {
    for (Root& root : roots_) {
        const std::string prefix = inside_folder(root.path, "");
        std::string relative;
        if (output.starts_with(prefix) && output.size() > prefix.size()) relative = output.substr(prefix.size());
        else if (root.path == "." && last_component_start(output) == 0) relative = output;
        else continue;
        // '/' between folders on every system.
        std::replace(relative.begin(), relative.end(), PATH_SEPARATOR, '/');
        root.proven.push_back({output, relative, xxh128, std::time(nullptr)});
        return;
    }
}

bool HashLists::write() {
    bool all_well = true;
    for (const Root& root : roots_) {
        if (root.proven.empty()) continue;
        if (!write_generation(root)) all_well = false;
    }
    return all_well;
}

bool HashLists::write_generation(const Root& root) const {
    const std::string folder = inside_folder(root.path, HASH_LIST_FOLDER);
    bool all_well = true;
    std::vector<const Proven*> listed;
    for (const Proven& proven : root.proven) {
        if (xml_can_carry(proven.relative)) {
            listed.push_back(&proven);
            continue;
        }
        complain("%s: cannot be listed in the hash list!\n", proven.output.c_str());
        all_well = false;
    }
    if (listed.empty()) return all_well;
    const std::optional<History> history = make_folders(folder) ? read_history(folder) : std::nullopt;
    if (!history) {
        complain("%s: cannot extend the hash list!\n", root.path.c_str());
        return false;
    }
    const std::time_t created = std::time(nullptr);
    std::vector<std::string> hashes;
    for (const Proven* proven : listed) {
        const std::optional<FileStamp> stamp = file_stamp(proven->output);
        const auto first = history->first_original.find(proven->relative);
        const bool same = first != history->first_original.end() && first->second == proven->xxh128;
        if (first != history->first_original.end() && !same)
            complain("warning: %s: the hash list history holds other bytes under this name\n", proven->output.c_str());
        std::string entry = "    <hash>\n      <path";
        if (stamp) {
            entry += " size=\"" + std::to_string(stamp->size) + "\" lastmodificationdate=\"";
            entry += date_time(static_cast<std::time_t>(stamp->modified_seconds));
            entry += '"';
        }
        entry += '>';
        entry += escaped(proven->relative);
        entry += "</path>\n      <xxh128 action=\"";
        entry += same ? "verified" : "original";
        entry += "\" hashdate=\"";
        entry += date_time(proven->hashed);
        entry += "\">";
        entry += proven->xxh128;
        entry += "</xxh128>\n    </hash>\n";
        hashes.push_back(entry);
    }
    const std::string manifest = manifest_text(hashes, created);
    const std::string name = manifest_name(history->next, root.path, created);
    const std::string entry = chain_entry(history->next, name, c4_id(manifest));
    std::string chain = history->chain;
    if (chain.empty()) {
        chain = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ascmhldirectory xmlns=\"urn:ASC:MHL:DIRECTORY:v2.0\">\n";
        chain += entry;
        chain += "</ascmhldirectory>\n";
    } else {
        chain.insert(chain.rfind("</ascmhldirectory>"), entry);
    }
    // The manifest first: a stop between the two leaves a chain that names only what is there.
    if (!place_file(inside_folder(folder, name), manifest) || !place_file(inside_folder(folder, HASH_LIST_CHAIN), chain)) {
        complain("%s: cannot extend the hash list!\n", root.path.c_str());
        return false;
    }
    report("hash list: %s\n", inside_folder(folder, name).c_str());
    return all_well;
}

bool HashLists::report_dry_run() const {
    bool all_well = true;
    for (const Root& root : roots_) {
        const std::string folder = inside_folder(root.path, HASH_LIST_FOLDER);
        const std::optional<History> history = read_history(folder);
        if (!history) {
            complain("%s: cannot extend the hash list!\n", root.path.c_str());
            all_well = false;
            continue;
        }
        report("hash list: %s, generation %u\n", inside_folder(folder, "").c_str(), history->next);
    }
    return all_well;
}
