#pragma once

#include <string>
#include <vector>

// Just enough XML for WebDAV's answers: a tree of elements, each named by its
// namespace and local name ("DAV:" and "href"), with the text directly inside it.
// expat natively; XmlLite on Windows, loaded only when a sync runs.
namespace xml {

struct Element {
    std::string space, name, text;
    std::vector<Element> children;

    // The first child of this name, or nullptr.
    const Element* child(const std::string& space, const std::string& name) const;
    // The first element of this name anywhere below, or nullptr.
    const Element* find(const std::string& space, const std::string& name) const;
};

// False, with `why` set, when the bytes are not well-formed XML.
bool parse(const std::string& bytes, Element& root, std::string& why);

// Text with &, < and > written as entities, for building request bodies.
std::string escaped(const std::string& text);

}  // namespace xml
