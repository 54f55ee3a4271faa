#include <cstdio>

#include "platform/console.h"

namespace console {

void out(const std::string& utf8) { std::fwrite(utf8.data(), 1, utf8.size(), stdout); }

void error(const std::string& utf8) { std::fwrite(utf8.data(), 1, utf8.size(), stderr); }

}  // namespace console
