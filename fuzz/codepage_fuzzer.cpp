// Round trips through every code page qbcard is built to be given: bytes to text
// and back for the single-byte ones, text to bytes and back for all.

#include <cstdint>

#include "fuzz/fuzz_support.h"
#include "interchange/codepage.h"
#include "interchange/utf8.h"

namespace {

const unsigned kSingleByte[] = {437, 850, 852, 866, 874, 1250, 1251, 1252, 1253, 1254, 1256, 1257};
const unsigned kOthers[] = {1255, 1258, 932, 936, 949, 950};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 512) return 0;  // the system converter is called per character
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    for (unsigned page : kSingleByte) {
        std::string text, back;
        char32_t refused = 0;
        if (!codepage::isSupported(page) || !codepage::toUtf8(page, bytes, text)) continue;
        require(utf8::isValid(text), "a code page gives UTF-8");
        require(codepage::fromUtf8(page, text, back, refused), "its own text goes back");
        require(back == bytes, "single-byte code pages round-trip every byte they define");
    }
    if (!utf8::isValid(bytes)) return 0;
    for (unsigned page : kOthers) {
        std::string encoded, text;
        char32_t refused = 0;
        if (!codepage::isSupported(page) || !codepage::fromUtf8(page, bytes, encoded, refused, '?'))
            continue;
        require(codepage::toUtf8(page, encoded, text), "what a code page wrote it reads");
        std::string again;
        require(codepage::fromUtf8(page, text, again, refused, '?') && again == encoded,
                "text read from a code page is written back the same");
    }
    return 0;
}
