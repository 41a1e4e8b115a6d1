#include "wavefile/metadata.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "wavefile/platform/files.h"

namespace {

// A chunk's kind: its id, and for "LIST" its list type too; empty for a chunk that is not carried.
std::string kind_of(const MetadataChunk& chunk) {
    const std::string id(chunk.id.bytes, sizeof chunk.id.bytes);
    if (chunk.id == BEXT_ID) return chunk.body.size() >= BEXT_CODING_HISTORY ? id : "";
    if (chunk.id == IXML_ID || chunk.id == CUE_ID) return id;
    const std::string list_type = chunk.body.substr(0, 4);
    if (chunk.id == LIST_ID && (list_type == "INFO" || list_type == "adtl")) return id + list_type;
    return "";
}

// Decided on the header alone, so that no other chunk's body (filler, or a damaged size) is read.
bool may_be_carried(const ChunkLocation& chunk) {
    return chunk.declared_size <= LARGEST_METADATA_BODY &&
           (chunk.id == BEXT_ID || chunk.id == IXML_ID || chunk.id == CUE_ID || chunk.id == LIST_ID);
}

const MetadataChunk* find(const std::vector<MetadataChunk>& metadata, const ChunkId& id) {
    for (const MetadataChunk& chunk : metadata)
        if (chunk.id == id) return &chunk;
    return nullptr;
}

std::optional<std::uint64_t> time_reference(const std::vector<MetadataChunk>& metadata) {
    const MetadataChunk* bext = find(metadata, BEXT_ID);
    if (bext == nullptr) return std::nullopt;
    return le64(reinterpret_cast<const unsigned char*>(bext->body.data()) + BEXT_TIME_REFERENCE);
}

// The CodingHistory gains the row of EBU R 98 that says how the join made the file.
std::string with_coding_history_row(std::string body, const SampleFormat& format) {
    while (body.size() > BEXT_CODING_HISTORY && body.back() == '\0') body.pop_back();
    const std::string_view history = std::string_view(body).substr(BEXT_CODING_HISTORY);
    if (!history.empty() && !history.ends_with("\r\n")) body += "\r\n";
    return body + "A=PCM,F=" + std::to_string(format.sample_rate) + ",W=" +
           std::to_string(format.bits_per_sample) + ",T=" + JOINED_BY + "\r\n";
}

// An XML element <name>...</name> found in text: where its opening tag starts, where its
// content starts and ends, and where its closing tag ends.
struct Element {
    std::size_t start, content, content_end, end;
    std::string_view content_of(std::string_view text) const { return text.substr(content, content_end - content); }
};

std::optional<Element> find_element(std::string_view text, std::string_view name, std::size_t from = 0) {
    const std::string open = std::string("<").append(name).append(">");
    const std::string close = std::string("</").append(name).append(">");
    const std::size_t start = text.find(open, from);
    if (start == std::string_view::npos) return std::nullopt;
    const std::size_t content_end = text.find(close, start + open.size());
    if (content_end == std::string_view::npos) return std::nullopt;
    return Element{start, start + open.size(), content_end, content_end + close.size()};
}

// The names of the first two tracks of an iXML's TRACK_LIST, or the defaults for those it does not name.
std::array<std::string, 2> first_two_track_names(const std::vector<MetadataChunk>& metadata,
                                                  std::array<std::string, 2> names) {
    const MetadataChunk* ixml = find(metadata, IXML_ID);
    const std::optional<Element> list = ixml ? find_element(ixml->body, "TRACK_LIST") : std::nullopt;
    if (!list) return names;
    const std::string_view tracks = list->content_of(ixml->body);
    std::size_t from = 0;
    for (std::string& name : names) {
        const std::optional<Element> track = find_element(tracks, "TRACK", from);
        if (!track) break;
        const std::string_view track_text = track->content_of(tracks);
        const std::optional<Element> given = find_element(track_text, "NAME");
        if (given && given->content_end > given->content) name = given->content_of(track_text);
        from = track->end;
    }
    return names;
}

// The iXML with its first TRACK_LIST replaced by one that lists the six channels.
std::string with_six_tracks(const std::string& ixml, const std::array<std::string, 2>& front,
                            const std::array<std::string, 2>& rear) {
    const std::optional<Element> list = find_element(ixml, "TRACK_LIST");
    if (!list) return ixml;
    const std::array<std::string, 6> names = {front[0], front[1], "C", "LFE", rear[0], rear[1]};
    std::string six = "<TRACK_LIST><TRACK_COUNT>6</TRACK_COUNT>";
    for (std::size_t channel = 1; channel <= names.size(); ++channel) {
        const std::string index = std::to_string(channel);
        six += "<TRACK><CHANNEL_INDEX>" + index + "</CHANNEL_INDEX><INTERLEAVE_INDEX>" + index +
               "</INTERLEAVE_INDEX><NAME>" + names[channel - 1] + "</NAME></TRACK>";
    }
    six += "</TRACK_LIST>";
    return ixml.substr(0, list->start) + six + ixml.substr(list->end);
}

void append_chunk(std::string& out, const ChunkId& id, const std::string& body) {
    unsigned char size[4];
    put_le32(size, static_cast<std::uint32_t>(body.size()));
    out.append(id.bytes, sizeof id.bytes);
    out.append(reinterpret_cast<const char*>(size), sizeof size);
    out += body;
    if (body.size() % 2 != 0) out += '\0';
}

}  // namespace

std::vector<MetadataChunk> read_metadata(std::FILE* file, const AudioSpan& audio) {
    std::vector<MetadataChunk> metadata;
    std::vector<std::string> kinds;
    for (const ChunkLocation& location : chunks_beside_audio(file, audio)) {
        if (!may_be_carried(location)) continue;
        MetadataChunk chunk{location.id, std::string(location.declared_size, '\0')};
        const bool whole = seek_to(file, location.body_offset) &&
                           std::fread(chunk.body.data(), 1, chunk.body.size(), file) == chunk.body.size();
        fail_if(!whole, "cannot read input file!");
        const std::string kind = kind_of(chunk);
        if (kind.empty() || std::find(kinds.begin(), kinds.end(), kind) != kinds.end()) continue;
        kinds.push_back(kind);
        metadata.push_back(std::move(chunk));
    }
    return metadata;
}

bool time_references_differ(const std::vector<MetadataChunk>& front, const std::vector<MetadataChunk>& rear) {
    const std::optional<std::uint64_t> front_time = time_reference(front), rear_time = time_reference(rear);
    return front_time && rear_time && *front_time != *rear_time;
}

std::string carried_chunks(const std::vector<MetadataChunk>& front, const std::vector<MetadataChunk>& rear,
                           const SampleFormat& format) {
    const std::array<std::string, 2> front_names = first_two_track_names(front, {"FL", "FR"});
    const std::array<std::string, 2> rear_names = first_two_track_names(rear, {"BL", "BR"});
    std::string carried;
    for (const MetadataChunk& chunk : front) {
        if (chunk.id == BEXT_ID) append_chunk(carried, chunk.id, with_coding_history_row(chunk.body, format));
        else if (chunk.id == IXML_ID) append_chunk(carried, chunk.id, with_six_tracks(chunk.body, front_names, rear_names));
        else append_chunk(carried, chunk.id, chunk.body);
    }
    return carried;
}
