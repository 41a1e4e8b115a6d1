#include "combiner/room.h"

#include <algorithm>

#include "wavefile/platform/files.h"
#include "wavefile/report.h"

namespace {
struct FileSystemTally {
    std::optional<std::uint64_t> id;
    std::string folder;
    std::optional<std::uint64_t> free;
    std::int64_t net = 0;  // joins less what they replace or give back
    std::uint64_t largest_replaced = 0;
    std::vector<std::string> names;
};

// An output's folder may not exist yet: the folder it will be made in tells its file system.
FileSystemFacts facts_of(const std::string& path) { return file_system_of(existing_folder(path)); }

const char SPACE_LINE[] = "space: %s: needs %llu bytes, %llu free\n";  // %llu: Windows C runtimes lack %zu
}  // namespace

std::vector<SpaceNeeded> measure_room(const std::vector<PlannedOutput>& outputs, const std::vector<std::string>& names) {
    std::vector<FileSystemTally> tallies;
    // The tally of the file system that holds folder, new when it is the first there.
    const auto tally_of = [&](const std::string& folder) {
        const FileSystemFacts facts = facts_of(folder);
        auto tally = std::find_if(tallies.begin(), tallies.end(), [&](const FileSystemTally& t) {
            return facts.id ? t.id == facts.id : t.folder == folder;
        });
        if (tally != tallies.end()) return tally;
        tallies.push_back({facts.id, folder, facts.free, 0, 0, {}});
        return tallies.end() - 1;
    };
    for (const std::string& name : names) tally_of(name)->names.push_back(name);
    for (const PlannedOutput& output : outputs) {
        const auto tally = tally_of(folder_of(output.path));
        tally->net += static_cast<std::int64_t>(output.size) - static_cast<std::int64_t>(output.replaced + output.leftover);
        tally->largest_replaced = std::max(tally->largest_replaced, output.replaced);
    }
    std::vector<SpaceNeeded> needed;
    for (const FileSystemTally& tally : tallies) {
        if (!tally.free) continue;
        const std::int64_t needs = tally.net + static_cast<std::int64_t>(tally.largest_replaced);
        needed.push_back(
            {tally.folder, static_cast<std::uint64_t>(std::max<std::int64_t>(needs, 0)), *tally.free, tally.names});
    }
    return needed;
}

void report_space(const SpaceNeeded& space) {
    report(SPACE_LINE, space.folder.c_str(), static_cast<unsigned long long>(space.needs),
           static_cast<unsigned long long>(space.free));
}

void complain_space(const SpaceNeeded& space) {
    complain(SPACE_LINE, space.folder.c_str(), static_cast<unsigned long long>(space.needs),
             static_cast<unsigned long long>(space.free));
}
