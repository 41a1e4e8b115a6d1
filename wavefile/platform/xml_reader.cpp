#include "wavefile/platform/xml_reader.h"

#include <algorithm>

#ifdef _WIN32
#include <windows.h>
#include <objidl.h>
#include <shlwapi.h>
#include <xmllite.h>
#else
#include <libxml/xmlreader.h>
#endif

std::optional<std::string> XmlElement::attribute(std::string_view wanted) const {
    for (const auto& [key, value] : attributes)
        if (key == wanted) return value;
    return std::nullopt;
}

namespace {
// Collects elements as a reader meets them: text goes to the innermost element still open.
class Elements {
public:
    void open(std::string name, int depth) {
        open_.resize(static_cast<std::size_t>(depth));
        open_.push_back(elements_.size());
        elements_.push_back({std::move(name), depth, {}, {}});
    }
    void attribute(std::string name, std::string value) { elements_.back().attributes.emplace_back(std::move(name), std::move(value)); }
    void close_empty() { open_.pop_back(); }
    void text(int depth, std::string_view text) {
        // Text at depth d lies inside the element open at depth d - 1; none may lie outside the root.
        if (depth >= 1 && static_cast<std::size_t>(depth) <= open_.size()) elements_[open_[depth - 1]].text += text;
        else if (text.find_first_not_of(" \t\r\n") != std::string_view::npos) stray_ = true;
    }
    // What was read, when it makes a whole document: one root element, and no text beside it. Some
    // readers let either pass.
    std::optional<std::vector<XmlElement>> take() {
        const auto roots = std::count_if(elements_.begin(), elements_.end(), [](const XmlElement& e) { return e.depth == 0; });
        if (stray_ || roots != 1) return std::nullopt;
        return std::move(elements_);
    }

private:
    std::vector<XmlElement> elements_;
    std::vector<std::size_t> open_;  // the element open at each depth
    bool stray_ = false;
};

#ifdef _WIN32
std::string utf8_of(const wchar_t* text, UINT length) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), utf8.data(), size, nullptr, nullptr);
    return utf8;
}

// Releases a COM object as it goes.
template <class Interface>
struct Released {
    Interface* object = nullptr;
    ~Released() {
        if (object) object->Release();
    }
};

// A function of a DLL loaded when first needed: mingw-w64 has XmlLite's header but no import
// library, and a DLL linked in is loaded at every start, which only --mhl needs.
template <class Function>
Function load(const wchar_t* library_name, const char* name) {
    HMODULE library = LoadLibraryW(library_name);
    return library ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, name))) : nullptr;
}
using CreateXmlReaderFunction = HRESULT(WINAPI*)(REFIID, void**, IMalloc*);
using CreateMemStreamFunction = IStream*(WINAPI*)(const BYTE*, UINT);
#endif
}  // namespace

std::optional<std::vector<XmlElement>> read_xml(std::string_view document) {
    Elements elements;
#ifdef _WIN32
    static const auto create = load<CreateXmlReaderFunction>(L"xmllite.dll", "CreateXmlReader");
    static const auto memory_stream = load<CreateMemStreamFunction>(L"shlwapi.dll", "SHCreateMemStream");
    if (!create || !memory_stream) return std::nullopt;
    Released<IXmlReader> reader;
    Released<IStream> stream;
    stream.object = memory_stream(reinterpret_cast<const BYTE*>(document.data()), static_cast<UINT>(document.size()));
    if (!stream.object || FAILED(create(__uuidof(IXmlReader), reinterpret_cast<void**>(&reader.object), nullptr)) ||
        FAILED(reader.object->SetProperty(XmlReaderProperty_DtdProcessing, DtdProcessing_Prohibit)) ||
        FAILED(reader.object->SetProperty(XmlReaderProperty_XmlResolver, 0)) ||
        FAILED(reader.object->SetInput(stream.object)))
        return std::nullopt;
    // Some readers go on reading forever at a document that ends inside an open element: no
    // well-formed document has more nodes than bytes.
    XmlNodeType type;
    HRESULT result = S_OK;
    for (std::size_t nodes = 0; (result = reader.object->Read(&type)) == S_OK; ++nodes) {
        if (nodes > document.size()) return std::nullopt;
        const wchar_t* text = nullptr;
        UINT length = 0, depth = 0;
        reader.object->GetDepth(&depth);
        if (type == XmlNodeType_DocumentType) return std::nullopt;
        if (type == XmlNodeType_Text || type == XmlNodeType_CDATA) {
            if (FAILED(reader.object->GetValue(&text, &length))) return std::nullopt;
            elements.text(static_cast<int>(depth), utf8_of(text, length));
        }
        if (type != XmlNodeType_Element) continue;
        if (FAILED(reader.object->GetLocalName(&text, &length))) return std::nullopt;
        elements.open(utf8_of(text, length), static_cast<int>(depth));
        const bool empty = reader.object->IsEmptyElement();
        for (HRESULT more = reader.object->MoveToFirstAttribute(); more == S_OK; more = reader.object->MoveToNextAttribute()) {
            const wchar_t* value = nullptr;
            UINT value_length = 0;
            if (FAILED(reader.object->GetLocalName(&text, &length)) || FAILED(reader.object->GetValue(&value, &value_length)))
                return std::nullopt;
            elements.attribute(utf8_of(text, length), utf8_of(value, value_length));
        }
        reader.object->MoveToElement();
        if (empty) elements.close_empty();
    }
    if (result != S_FALSE) return std::nullopt;  // S_FALSE: the end of a whole document
#else
    // No network, no DTD loaded, no entity substituted, and no word on standard error.
    xmlTextReaderPtr reader = xmlReaderForMemory(document.data(), static_cast<int>(document.size()), nullptr, nullptr,
                                                 XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    if (!reader) return std::nullopt;
    xmlTextReaderSetStructuredErrorHandler(reader, [](void*, xmlErrorPtr) {}, nullptr);
    const auto text_of = [](const xmlChar* text) { return std::string(text ? reinterpret_cast<const char*>(text) : ""); };
    int result = 0;
    bool refused = false;
    while (!refused && (result = xmlTextReaderRead(reader)) == 1) {
        const int type = xmlTextReaderNodeType(reader), depth = xmlTextReaderDepth(reader);
        if (type == XML_READER_TYPE_DOCUMENT_TYPE) refused = true;
        if (type == XML_READER_TYPE_TEXT || type == XML_READER_TYPE_CDATA)
            elements.text(depth, text_of(xmlTextReaderConstValue(reader)));
        if (type != XML_READER_TYPE_ELEMENT) continue;
        elements.open(text_of(xmlTextReaderConstLocalName(reader)), depth);
        const bool empty = xmlTextReaderIsEmptyElement(reader) == 1;
        while (xmlTextReaderMoveToNextAttribute(reader) == 1)
            elements.attribute(text_of(xmlTextReaderConstLocalName(reader)), text_of(xmlTextReaderConstValue(reader)));
        xmlTextReaderMoveToElement(reader);
        if (empty) elements.close_empty();
    }
    xmlFreeTextReader(reader);
    if (refused || result != 0) return std::nullopt;  // 0: the end of a whole document
#endif
    return elements.take();
}
