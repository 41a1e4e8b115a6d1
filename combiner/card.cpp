#include "combiner/card.h"

#include <algorithm>
#include <set>
#include <string_view>

#include "combiner/names.h"
#include "wavefile/platform/files.h"

namespace {

// The letter before a ".wav" extension (in any case), or 0.
char take_letter(std::string_view name) {
    const std::size_t dot = find_extension_dot(name);
    if (dot == std::string_view::npos || dot == 0 || name.size() - dot != 4) return 0;
    std::string extension(name.substr(dot));
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(c | 0x20); });
    return extension == ".wav" ? name[dot - 1] : 0;
}

struct Finder {
    Card card;
    std::vector<std::string> folders_seen;

    // mirrors: the output folders of this folder's takes; none when outputs go beside their fronts.
    void find_in(const std::string& folder, const std::vector<std::string>& mirrors) {
        // Each folder once: folders given that overlap, and a junction or a link that a system
        // does not show as one (which could make a loop), are reached again under another name.
        for (const std::string& earlier : folders_seen)
            if (names_same_file(folder, earlier)) return;
        folders_seen.push_back(folder);
        std::optional<std::vector<FolderEntry>> entries = list_folder(folder);
        if (!entries) {
            card.unreadable.push_back({folder, FOLDER_UNREADABLE});
            return;
        }
        std::erase_if(*entries, [](const FolderEntry& entry) { return entry.name.starts_with('.'); });
        std::sort(entries->begin(), entries->end(),
                  [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
        std::set<std::string> files;
        for (const FolderEntry& entry : *entries)
            if (entry.kind == FolderEntry::Kind::file) files.insert(entry.name);

        for (const std::string& name : files) {
            const char letter = take_letter(name);
            if (letter != 'F' && letter != 'f' && letter != 'R' && letter != 'r') continue;
            const std::string pair = derive_rear_name(name).value();  // F and R swapped
            const std::string path = inside_folder(folder, name);
            if (letter == 'R' || letter == 'r') {
                if (!files.contains(pair)) card.unpaired.push_back({path, NO_FRONT});
            } else if (!files.contains(pair)) {
                card.unpaired.push_back({path, NO_REAR});
            } else {
                std::vector<std::string> outputs;
                for (const std::string& mirror : mirrors) outputs.push_back(inside_folder(mirror, derive_output_name(name)));
                if (mirrors.empty()) outputs.push_back(derive_output_name(path));
                card.takes.push_back({path, inside_folder(folder, pair), outputs});
            }
        }
        for (const FolderEntry& entry : *entries) {
            if (entry.kind != FolderEntry::Kind::folder) continue;
            std::vector<std::string> below;
            for (const std::string& mirror : mirrors) below.push_back(inside_folder(mirror, entry.name));
            find_in(inside_folder(folder, entry.name), below);
        }
    }
};

}  // namespace

Card find_takes(const std::vector<std::string>& folders, const std::vector<std::string>& output_folders) {
    Finder finder;
    for (const std::string& folder : folders) finder.find_in(folder, output_folders);
    return finder.card;
}
