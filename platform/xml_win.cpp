#include <windows.h>
#include <objidl.h>
#include <xmllite.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/utf16_win.h"
#include "platform/xml.h"

// XmlLite, looked up when a sync starts: the rest of qbcard.exe starts without it,
// and the program's list of imports stays as it was checked.
namespace xml {

namespace {

// The bytes to read, as the stream XmlLite asks for.
class BytesStream : public ISequentialStream {
  public:
    explicit BytesStream(const std::string& bytes) : bytes_(bytes) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
        if (id == IID_IUnknown || id == IID_ISequentialStream) {
            *object = this;
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }  // lives on the caller's stack
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE Read(void* into, ULONG size, ULONG* read) override {
        ULONG count = static_cast<ULONG>(std::min<size_t>(size, bytes_.size() - at_));
        std::memcpy(into, bytes_.data() + at_, count);
        at_ += count;
        if (read) *read = count;
        return count < size ? S_FALSE : S_OK;
    }
    HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) override { return E_NOTIMPL; }

  private:
    const std::string& bytes_;
    size_t at_ = 0;
};

using CreateXmlReaderFunction = HRESULT(WINAPI*)(REFIID, void**, IMalloc*);
// IID_IXmlReader, written out: its definition lives in an import library that
// would tie xmllite.dll to the program's start.
const GUID kXmlReaderId = {
    0x7279fc81, 0x709d, 0x4095, {0xb6, 0x3d, 0x69, 0xfe, 0x4b, 0x0d, 0x90, 0x30}};

// Wine's XmlLite reads the character references &#9;, &#10; and &#13; in text as
// spaces, where XML keeps them as the characters they name; a server that writes a
// card's CR LF as "&#13;" and a line feed would have every line of it end in a space.
// They are handed over as noncharacters (U+FDD0 to U+FDD2, which Unicode keeps for a
// program's own use and no server sends) and turned back in the text read.
const char32_t kWhitespaceStandIn = 0xFDD0;
const char kStandInFor[] = {'\t', '\n', '\r'};

std::string withWhitespaceReferencesStoodIn(const std::string& bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (size_t at = 0; at < bytes.size();) {
        size_t end = bytes.compare(at, 2, "&#") == 0 ? bytes.find(';', at) : std::string::npos;
        if (end != std::string::npos && end - at <= 10) {
            const bool hex = bytes[at + 2] == 'x';
            const std::string digits = bytes.substr(at + (hex ? 3 : 2), end - at - (hex ? 3 : 2));
            const char* allowed = hex ? "0123456789abcdefABCDEF" : "0123456789";
            if (!digits.empty() && digits.find_first_not_of(allowed) == std::string::npos) {
                const unsigned long value = std::stoul(digits, nullptr, hex ? 16 : 10);
                const char* found =
                    std::find(kStandInFor, kStandInFor + 3, static_cast<char>(value));
                if (value < 128 && found != kStandInFor + 3) {
                    char reference[16];
                    std::snprintf(
                        reference, sizeof reference, "&#x%X;",
                        static_cast<unsigned>(kWhitespaceStandIn + (found - kStandInFor)));
                    out += reference;
                    at = end + 1;
                    continue;
                }
            }
        }
        out += bytes[at++];
    }
    return out;
}

// The text with the stand-ins turned back into the characters they stand for.
std::string withStandInsResolved(std::string text) {
    for (int k = 0; k < 3; ++k) {
        const char standIn[] = {'\xEF', '\xB7', static_cast<char>(0x90 + k), '\0'};
        for (size_t at = 0; (at = text.find(standIn, at)) != std::string::npos;)
            text.replace(at, 3, 1, kStandInFor[k]);
    }
    return text;
}

}  // namespace

bool parse(const std::string& bytes, Element& root, std::string& why) {
    static HMODULE module = LoadLibraryA("xmllite.dll");
    auto create = module ? reinterpret_cast<CreateXmlReaderFunction>(
                               reinterpret_cast<void*>(GetProcAddress(module, "CreateXmlReader")))
                         : nullptr;
    IXmlReader* reader = nullptr;
    if (!create || FAILED(create(kXmlReaderId, reinterpret_cast<void**>(&reader), nullptr))) {
        why = "XmlLite (xmllite.dll) cannot be loaded on this Windows";
        return false;
    }
    const std::string stoodIn = withWhitespaceReferencesStoodIn(bytes);
    BytesStream stream(stoodIn);
    reader->SetProperty(XmlReaderProperty_DtdProcessing, DtdProcessing_Prohibit);
    HRESULT result = reader->SetInput(&stream);
    Element document;
    std::vector<Element*> open;
    XmlNodeType type;
    while (SUCCEEDED(result) && (result = reader->Read(&type)) == S_OK) {
        const WCHAR* text = nullptr;
        UINT size = 0;
        if (type == XmlNodeType_Element) {
            Element* element = &document;
            if (!open.empty()) {
                open.back()->children.emplace_back();
                element = &open.back()->children.back();
            }
            reader->GetNamespaceUri(&text, &size);
            element->space = utf8Of(text, size);
            reader->GetLocalName(&text, &size);
            element->name = utf8Of(text, size);
            if (!reader->IsEmptyElement()) open.push_back(element);
        } else if (type == XmlNodeType_EndElement) {
            if (!open.empty()) open.pop_back();
        } else if ((type == XmlNodeType_Text || type == XmlNodeType_CDATA ||
                    type == XmlNodeType_Whitespace) &&
                   !open.empty() && SUCCEEDED(reader->GetValue(&text, &size))) {
            open.back()->text += withStandInsResolved(utf8Of(text, size));
        }
    }
    UINT line = 0;
    reader->GetLineNumber(&line);
    reader->Release();
    if (FAILED(result)) {
        why = "not well-formed XML at line " + std::to_string(line);
        return false;
    }
    root = std::move(document);
    return true;
}

}  // namespace xml
