// Finding the takes on a card: every front file in the folders given and their subfolders whose
// rear lies beside it, and the files that lack their pair.
#pragma once

#include <string>
#include <vector>

// One take to join: its front, its rear, and where its outputs go, one for each destination.
struct Take {
    std::string front, rear;
    std::vector<std::string> outputs;
};

// A file that gives no take, or a folder that could not be read, and why, as the summary says it.
struct LeftOut {
    std::string path;
    std::string why;
};

inline constexpr char NO_REAR[] = "no rear file";
inline constexpr char NO_FRONT[] = "no front file";
inline constexpr char FOLDER_UNREADABLE[] = "cannot read folder!";

struct Card {
    std::vector<Take> takes;
    std::vector<LeftOut> unpaired;    // fronts without their rear, rears without their front
    std::vector<LeftOut> unreadable;  // folders that could not be read
};

// Takes are front files named *F.wav or *f.wav (the extension in any case) whose rear, with the
// letter toggled, lies in the same folder. Names starting with "." and links to folders are passed
// over. Each folder's files come before its subfolders, each in the byte order of their names;
// a folder reached twice (folders given that overlap) counts at its first place. An output goes
// beside its front, or under each of output_folders, in the subfolders that lead to its front
// from the folder given.
Card find_takes(const std::vector<std::string>& folders, const std::vector<std::string>& output_folders);
