#include "combiner/names.h"

#include "wavefile/platform/files.h"

std::size_t find_extension_dot(std::string_view path) {
    const std::size_t component_start = last_component_start(path);
    const std::size_t dot = path.rfind('.');
    if (dot == std::string_view::npos || dot <= component_start) return std::string_view::npos;
    return dot;
}

static std::string_view stem(std::string_view path) {
    return path.substr(0, find_extension_dot(path));
}

std::string derive_output_name(std::string_view front) {
    return std::string(stem(front)) + "-6ch.wav";
}

std::optional<std::string> derive_rear_name(std::string_view front) {
    std::string rear(front);
    std::size_t letter_at = stem(front).size();
    if (letter_at == 0) return std::nullopt;
    char& letter = rear[letter_at - 1];
    switch (letter) {
        case 'F': letter = 'R'; break;
        case 'R': letter = 'F'; break;
        case 'f': letter = 'r'; break;
        case 'r': letter = 'f'; break;
        default: return std::nullopt;
    }
    return rear;
}
