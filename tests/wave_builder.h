// Builds WAVE files byte by byte, independently of the code under test.
#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

using Bytes = std::vector<unsigned char>;

inline void append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }
inline void append_text(Bytes& out, std::string_view text) { out.insert(out.end(), text.begin(), text.end()); }
inline void append_le16(Bytes& out, std::uint32_t value) {
    out.push_back(static_cast<unsigned char>(value));
    out.push_back(static_cast<unsigned char>(value >> 8));
}
inline void append_le32(Bytes& out, std::uint32_t value) {
    append_le16(out, value & 0xFFFF);
    append_le16(out, value >> 16);
}

inline void append_le64(Bytes& out, std::uint64_t value) {
    append_le32(out, static_cast<std::uint32_t>(value));
    append_le32(out, static_cast<std::uint32_t>(value >> 32));
}

inline Bytes with_byte(Bytes bytes, std::size_t at, unsigned char value) {
    bytes.at(at) = value;
    return bytes;
}
inline Bytes joined(Bytes first, const Bytes& second) {
    append(first, second);
    return first;
}

inline std::uint32_t read_le32(const Bytes& bytes, std::size_t at) {
    return bytes.at(at) | bytes.at(at + 1) << 8 | bytes.at(at + 2) << 16 |
           static_cast<std::uint32_t>(bytes.at(at + 3)) << 24;
}

// A chunk whose header declares declared_size, whatever the body holds.
inline Bytes chunk_declaring(std::string_view id, std::uint32_t declared_size, const Bytes& body) {
    Bytes out;
    append_text(out, id);
    append_le32(out, declared_size);
    append(out, body);
    return out;
}

// A well-formed chunk: true size, and the pad byte after an odd body.
inline Bytes chunk(std::string_view id, const Bytes& body) {
    Bytes out = chunk_declaring(id, static_cast<std::uint32_t>(body.size()), body);
    if (body.size() % 2 != 0) out.push_back(0);
    return out;
}

inline Bytes riff_wave(std::initializer_list<Bytes> chunks) {
    Bytes body;
    append_text(body, "WAVE");
    for (const Bytes& c : chunks) append(body, c);
    return chunk("RIFF", body);
}

inline constexpr std::uint32_t PCM = 1, FLOAT = 3, ALAW = 6;

// A plain "fmt " body; tag is PCM, FLOAT or another format tag.
// An RF64 or BW64 file: form holds "RF64" or "BW64", and the 32-bit RIFF size is 0xFFFFFFFF.
inline Bytes big_wave(std::string_view form, std::initializer_list<Bytes> chunks) {
    Bytes body;
    append_text(body, "WAVE");
    for (const Bytes& c : chunks) append(body, c);
    return chunk_declaring(form, 0xFFFFFFFF, body);
}

// A "ds64" chunk with the RIFF size, the data size and the sample count, and no table.
inline Bytes ds64_chunk(std::uint64_t riff_size, std::uint64_t data_size, std::uint64_t sample_count) {
    Bytes body;
    append_le64(body, riff_size);
    append_le64(body, data_size);
    append_le64(body, sample_count);
    append_le32(body, 0);
    return chunk("ds64", body);
}

inline Bytes pcm_fmt(std::uint32_t channels, std::uint32_t rate, std::uint32_t bits, std::uint32_t tag = PCM) {
    const std::uint32_t block_align = channels * bits / 8;
    Bytes out;
    append_le16(out, tag);
    append_le16(out, channels);
    append_le32(out, rate);
    append_le32(out, rate * block_align);
    append_le16(out, block_align);
    append_le16(out, bits);
    return out;
}

// An extensible "fmt " body whose SubFormat GUID starts with the format tag sub_tag (PCM, FLOAT).
inline Bytes extensible_fmt(std::uint32_t channels, std::uint32_t rate, std::uint32_t bits, std::uint32_t mask,
                            std::uint32_t sub_tag = PCM) {
    Bytes out = pcm_fmt(channels, rate, bits, 0xFFFE);
    append_le16(out, 22);
    append_le16(out, bits);
    append_le32(out, mask);
    append_le32(out, sub_tag);
    append(out, {0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71});
    return out;
}

// Distinct, repeatable bytes, so a misplaced sample shows.
inline Bytes pattern(std::size_t size, unsigned seed) {
    Bytes out(size);
    std::uint32_t state = seed * 2654435761u + 1;
    for (auto& b : out) {
        state = state * 1664525u + 1013904223u;
        b = static_cast<unsigned char>(state >> 24);
    }
    return out;
}

inline Bytes stereo_wave(std::uint32_t rate, std::uint32_t bits, const Bytes& audio, std::uint32_t tag = PCM) {
    return riff_wave({chunk("fmt ", pcm_fmt(2, rate, bits, tag)), chunk("data", audio)});
}

// The six-channel audio for two stereo data parts, frame by frame.
inline Bytes six_channel_audio(std::uint32_t bits, const Bytes& front, const Bytes& rear, std::uint32_t tag = PCM) {
    const std::size_t pair = bits / 4;
    const unsigned char silence = bits == 8 && tag == PCM ? 0x80 : 0x00;
    Bytes audio(front.size() / pair * 3 * pair, silence);
    for (std::size_t at = 0, out = 0; at + pair <= front.size(); at += pair, out += 3 * pair) {
        std::copy_n(front.begin() + static_cast<long>(at), pair, audio.begin() + static_cast<long>(out));
        std::copy_n(rear.begin() + static_cast<long>(at), pair, audio.begin() + static_cast<long>(out + 2 * pair));
    }
    return audio;
}

// What the six-channel file for two stereo data parts must hold, with the chunks it carries.
inline Bytes six_channel_wave(std::uint32_t rate, std::uint32_t bits, const Bytes& front, const Bytes& rear,
                              std::uint32_t tag = PCM, const Bytes& carried = {}) {
    return riff_wave({chunk("fmt ", extensible_fmt(6, rate, bits, 0x3F, tag)), carried,
                      chunk("data", six_channel_audio(bits, front, rear, tag))});
}

inline Bytes text_bytes(std::string_view text) { return Bytes(text.begin(), text.end()); }

// A Broadcast Wave "bext" body: a description, an originator, the TimeReference, version 1,
// and the CodingHistory text.
inline Bytes bext_body(std::uint64_t time_reference, std::string_view coding_history) {
    Bytes body(602, 0);
    const std::string_view description = "Scene 12 take 3", originator = "Zoom H2n";
    std::copy(description.begin(), description.end(), body.begin());
    std::copy(originator.begin(), originator.end(), body.begin() + 256);
    for (int i = 0; i < 8; ++i) body[338 + i] = static_cast<unsigned char>(time_reference >> (8 * i));
    body[346] = 1;
    append_text(body, coding_history);
    return body;
}

// A TRACK_LIST element, one track for each name, with line ends between its elements as
// recorders write them, or with nothing between them.
inline std::string track_list(std::initializer_list<std::string_view> names, std::string_view between = "\r\n") {
    const std::string line_end(between);
    std::string list = "<TRACK_LIST>" + line_end + "<TRACK_COUNT>" + std::to_string(names.size()) + "</TRACK_COUNT>" + line_end;
    int index = 0;
    for (std::string_view name : names) {
        const std::string n = std::to_string(++index);
        list += "<TRACK><CHANNEL_INDEX>" + n + "</CHANNEL_INDEX><INTERLEAVE_INDEX>" + n +
                "</INTERLEAVE_INDEX><NAME>" + std::string(name) + "</NAME></TRACK>" + line_end;
    }
    return list + "</TRACK_LIST>";
}

// An iXML document: a project, a scene, a take and a note, then the given text (a TRACK_LIST).
inline Bytes ixml_body(std::string_view tracks) {
    return text_bytes("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<BWFXML><IXML_VERSION>2.10</IXML_VERSION>"
                      "<PROJECT>Forest</PROJECT><SCENE>12</SCENE><TAKE>3</TAKE><NOTE>owl at 0:42</NOTE>\r\n" +
                      std::string(tracks) + "\r\n</BWFXML>\r\n");
}

// Two markers, at frames 30 and 60, and a label for each.
inline Bytes cue_chunk() {
    Bytes body;
    append_le32(body, 2);
    for (std::uint32_t id : {1u, 2u}) {
        for (std::uint32_t field : {id, 30 * id}) append_le32(body, field);
        append_text(body, "data");
        for (std::uint32_t field : {0u, 0u, 30 * id}) append_le32(body, field);
    }
    return chunk("cue ", body);
}
inline Bytes labels_chunk() {
    Bytes body = text_bytes("adtl");
    append(body, chunk("labl", joined({1, 0, 0, 0}, text_bytes(std::string("owl", 4)))));
    append(body, chunk("labl", joined({2, 0, 0, 0}, text_bytes(std::string("wind gust", 10)))));
    return chunk("LIST", body);
}

inline void write_file(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
}

inline Bytes read_file(const std::filesystem::path& path) {
    std::error_code missing;
    Bytes bytes(std::filesystem::file_size(path, missing));
    if (missing) return {};
    std::ifstream(path, std::ios::binary).read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}
