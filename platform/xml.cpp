#include "platform/xml.h"

namespace xml {

const Element* Element::child(const std::string& inSpace, const std::string& named) const {
    for (const Element& e : children)
        if (e.name == named && e.space == inSpace) return &e;
    return nullptr;
}

const Element* Element::find(const std::string& inSpace, const std::string& named) const {
    for (const Element& e : children) {
        if (e.name == named && e.space == inSpace) return &e;
        if (const Element* below = e.find(inSpace, named)) return below;
    }
    return nullptr;
}

std::string escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else
            out += c;
    }
    return out;
}

}  // namespace xml
