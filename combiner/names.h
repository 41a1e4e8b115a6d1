// How sixjoin names its output and, when it is not given, the rear input.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// Index of the dot that starts the extension, or npos. Only the last path component counts,
// and a dot that is its first character (a hidden file) is not an extension.
std::size_t find_extension_dot(std::string_view path);

// The path without its extension, followed by "-6ch.wav".
std::string derive_output_name(std::string_view front);

// The path with the F/R letter before the extension toggled (f/r likewise);
// empty when that letter is neither.
std::optional<std::string> derive_rear_name(std::string_view front);
