#include <expat.h>

#include "platform/xml.h"

namespace xml {

namespace {

constexpr char kSpaceSeparator = '\x01';

struct Builder {
    Element root;
    std::vector<Element*> open;
};

void startElement(void* data, const XML_Char* qualified, const XML_Char**) {
    auto* builder = static_cast<Builder*>(data);
    Element* parent = builder->open.empty() ? nullptr : builder->open.back();
    Element* element = &builder->root;
    if (parent) {
        parent->children.emplace_back();
        element = &parent->children.back();
    }
    std::string name = qualified;
    size_t split = name.find(kSpaceSeparator);
    if (split == std::string::npos) {
        element->name = name;
    } else {
        element->space = name.substr(0, split);
        element->name = name.substr(split + 1);
    }
    builder->open.push_back(element);
}

void endElement(void* data, const XML_Char*) { static_cast<Builder*>(data)->open.pop_back(); }

void characters(void* data, const XML_Char* text, int length) {
    auto* builder = static_cast<Builder*>(data);
    if (!builder->open.empty())
        builder->open.back()->text.append(text, static_cast<size_t>(length));
}

}  // namespace

bool parse(const std::string& bytes, Element& root, std::string& why) {
    XML_Parser parser = XML_ParserCreateNS(nullptr, kSpaceSeparator);
    if (!parser) {
        why = "out of memory";
        return false;
    }
    Builder builder;
    XML_SetUserData(parser, &builder);
    XML_SetElementHandler(parser, startElement, endElement);
    XML_SetCharacterDataHandler(parser, characters);
    bool ok = XML_Parse(parser, bytes.data(), static_cast<int>(bytes.size()), 1) == XML_STATUS_OK;
    if (!ok)
        why = std::string(XML_ErrorString(XML_GetErrorCode(parser))) + " at line " +
              std::to_string(XML_GetCurrentLineNumber(parser));
    XML_ParserFree(parser);
    if (ok) root = std::move(builder.root);
    return ok;
}

}  // namespace xml
