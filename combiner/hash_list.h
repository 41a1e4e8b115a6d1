// The proof that travels with the outputs: an ASC Media Hash List (version 2.0) at the root of
// each destination, an "ascmhl" folder holding one manifest per generation of checks and the
// chain that names each manifest with its C4 ID. A run adds one generation to each root where it
// proved outputs, listing each with the XXH3-128 that its read-back gave; an earlier history,
// by sixjoin or by any other tool, is continued and never changed.
#pragma once

#include <ctime>
#include <string>
#include <string_view>
#include <vector>

inline constexpr char HASH_LIST_FOLDER[] = "ascmhl";
inline constexpr char HASH_LIST_CHAIN[] = "ascmhl_chain.xml";

// The C4 ID of bytes: their SHA-512 as a base-58 number of 88 digits, after "c4".
std::string c4_id(std::string_view bytes);

class HashLists {
public:
    // The destination roots, in the order the run names them.
    explicit HashLists(std::vector<std::string> roots);

    // An output read back from its disk as written, with that hash (32 hex digits): listed under
    // the first root it lies in. Outputs under no root are not listed.
    void prove(const std::string& output, const std::string& xxh128);

    // Writes a generation into each root where an output was proven, and says
    // "hash list: <manifest>" for each. A root whose history cannot be extended or written, or an
    // output whose name XML cannot carry, is said as it fails. Whether all went well.
    bool write();

    // --dry-run: "hash list: <root>/ascmhl/, generation <N>" for each root. Whether every
    // root's history can be extended.
    bool report_dry_run() const;

private:
    struct Proven {
        std::string output, relative, xxh128;
        std::time_t hashed;
    };
    struct Root {
        std::string path;
        std::vector<Proven> proven;
    };
    bool write_generation(const Root& root) const;
    std::vector<Root> roots_;
};
