#include <iconv.h>

#include <cerrno>
#include <map>
#include <utility>

#include "platform/system_codepage.h"

namespace system_codepage {

namespace {

std::string iconvName(unsigned codePage) { return "CP" + std::to_string(codePage); }

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

// Opening a converter costs far more than a character's conversion, and a code page
// is converted a character at a time: each pair stays open for the thread's life.
class Converters {
  public:
    ~Converters() {
        for (auto& open : open_)
            if (open.second != kNoConverter) iconv_close(open.second);
    }
    iconv_t get(const std::string& to, const std::string& from) {
        auto found = open_.find({to, from});
        if (found == open_.end())
            found =
                open_.emplace(std::make_pair(to, from), iconv_open(to.c_str(), from.c_str())).first;
        if (found->second != kNoConverter) iconv(found->second, nullptr, nullptr, nullptr, nullptr);
        return found->second;  // back in its initial shift state
    }

  private:
    std::map<std::pair<std::string, std::string>, iconv_t> open_;
};

// Converts all of `in`; false when iconv refuses any of it.
bool convert(const std::string& to, const std::string& from, std::string in, std::string& out) {
    static thread_local Converters converters;
    iconv_t converter = converters.get(to, from);
    if (converter == kNoConverter) return false;
    char* input = &in[0];
    size_t inputLeft = in.size();
    bool ok = true;
    // The last round, with no input, flushes what a converter with a shift state
    // (1255 and 1258 combine a letter with the mark after it) still holds back.
    for (bool flushed = false; ok && !flushed;) {
        flushed = inputLeft == 0;
        char buffer[256];
        char* output = buffer;
        size_t outputLeft = sizeof buffer;
        size_t result = flushed ? iconv(converter, nullptr, nullptr, &output, &outputLeft)
                                : iconv(converter, &input, &inputLeft, &output, &outputLeft);
        ok = result != static_cast<size_t>(-1) || errno == E2BIG;
        if (flushed && result == static_cast<size_t>(-1)) flushed = false;  // E2BIG: again
        out.append(buffer, output);
    }
    return ok;
}

}  // namespace

unsigned ansiCodePage() { return 1252; }

bool supports(unsigned codePage) {
    iconv_t converter = iconv_open("UTF-32LE", iconvName(codePage).c_str());
    if (converter == reinterpret_cast<iconv_t>(-1)) return false;
    iconv_close(converter);
    return true;
}

bool decode(unsigned codePage, const std::string& bytes, std::u32string& characters) {
    std::string wide;
    if (!convert("UTF-32LE", iconvName(codePage), bytes, wide)) return false;
    for (size_t i = 0; i + 4 <= wide.size(); i += 4) {
        char32_t c = 0;
        for (int k = 3; k >= 0; --k) c = (c << 8) | static_cast<unsigned char>(wide[i + k]);
        characters += c;
    }
    return true;
}

bool encode(unsigned codePage, char32_t character, std::string& bytes) {
    std::string wide(4, '\0');
    for (int k = 0; k < 4; ++k) wide[k] = static_cast<char>((character >> (8 * k)) & 0xFF);
    std::string out;
    if (!convert(iconvName(codePage), "UTF-32LE", wide, out)) return false;
    bytes += out;
    return true;
}

}  // namespace system_codepage
