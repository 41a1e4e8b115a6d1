// Reading an XML document that may come from anyone: the system's own reader (XmlLite on
// Windows, loaded at run time; libxml2 elsewhere), with no DTD, no external entity and no
// network, and a bound on how long it reads.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// One element: its local name (without a namespace prefix), how deep it lies (the root at 0), its
// attributes by local name, and the text directly inside it.
struct XmlElement {
    std::string name;
    int depth = 0;
    std::vector<std::pair<std::string, std::string>> attributes;
    std::string text;

    // An attribute's value; nothing when absent.
    std::optional<std::string> attribute(std::string_view name) const;
};

// Every element of a document in document order; nothing for a document that is not well formed,
// declares a DTD, or cannot be read.
std::optional<std::vector<XmlElement>> read_xml(std::string_view document);
