#include "cli/messages.h"

#include "platform/console.h"

std::string prefixed(const std::string& message) { return "qbcard: " + message; }

void complain(const std::string& message) { console::error(prefixed(message) + "\n"); }

int fail(const std::string& file, const std::string& message) {
    complain(file + ": " + message);
    return kNothingDone;
}
