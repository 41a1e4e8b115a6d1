// Room on the destination disks for the outputs of a run, measured before its first take: a card
// that cannot fit is known before a byte of it is written.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// One output a run will write: its path, the bytes of the join, and the bytes that its name and a
// .part that a killed run left hold now, which the join gives back.
struct PlannedOutput {
    std::string path;
    std::uint64_t size;
    std::uint64_t replaced, leftover;
};

// What the outputs on one file system need, and what it has free.
struct SpaceNeeded {
    std::string folder;  // as the command line names it
    std::uint64_t needs;
    std::uint64_t free;
    std::vector<std::string> names;  // those of the names given that lie on it
    bool fits() const { return needs <= free; }
};

// Groups the outputs by file system and adds up what each needs: the joins less the files they
// replace, plus the largest of those, which a .part stands beside until its rename. Each file
// system is named by the first of `names` on it, or else by its first output's folder; one that
// gives no figure for its free space is left out.
std::vector<SpaceNeeded> measure_room(const std::vector<PlannedOutput>& outputs, const std::vector<std::string>& names);

// "space: <folder>: needs <n> bytes, <f> free", said as a report or as a complaint.
void report_space(const SpaceNeeded& space);
void complain_space(const SpaceNeeded& space);
