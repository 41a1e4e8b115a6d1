// What a take's file says about the take, and what a join carries of it into its output: the
// Broadcast Wave "bext" chunk (EBU Tech 3285), the "iXML" chunk, the "cue " markers with their
// "LIST" "adtl" labels, and the "LIST" "INFO" tags.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "wavefile/chunk.h"
#include "wavefile/sample_format.h"

inline constexpr ChunkId BEXT_ID{{'b', 'e', 'x', 't'}};
inline constexpr ChunkId IXML_ID{{'i', 'X', 'M', 'L'}};
inline constexpr ChunkId CUE_ID{{'c', 'u', 'e', ' '}};
inline constexpr ChunkId LIST_ID{{'L', 'I', 'S', 'T'}};

// No recorder writes a metadata chunk larger than this; a larger size is most likely damage.
inline constexpr std::uint32_t LARGEST_METADATA_BODY = 1 << 20;

// Offsets into a "bext" body: its fixed fields end where the CodingHistory text starts.
inline constexpr std::size_t BEXT_TIME_REFERENCE = 338;
inline constexpr std::size_t BEXT_CODING_HISTORY = 602;

// How the join names itself in the CodingHistory row it adds.
inline constexpr char JOINED_BY[] = "sixjoin 1.4";

// One metadata chunk: its id and its body (a "LIST" body starts with its list type).
struct MetadataChunk {
    ChunkId id;
    std::string body;
};

// The first "bext" (of 602 bytes or more), "iXML", "cue ", "LIST" "INFO" and "LIST" "adtl" of
// a file, in file order, each whole within the file, outside its audio and no larger than
// LARGEST_METADATA_BODY.
std::vector<MetadataChunk> read_metadata(std::FILE* file, const AudioSpan& audio);

// Whether both files have a "bext" and their TimeReferences, the samples they started on, differ.
bool time_references_differ(const std::vector<MetadataChunk>& front, const std::vector<MetadataChunk>& rear);

// The chunks a join carries, whole (header, body and pad byte), in the front's order: the
// front's, with a CodingHistory row for the join added to "bext", and the iXML track list
// rewritten to name the six channels (the front's two tracks, C, LFE, the rear's two tracks).
std::string carried_chunks(const std::vector<MetadataChunk>& front, const std::vector<MetadataChunk>& rear,
                           const SampleFormat& format);
