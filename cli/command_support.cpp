#include "cli/command_support.h"

#include "platform/console.h"
#include "platform/files.h"

int fail(const std::string& file, const std::string& message) {
    console::error("qbcard: " + file + ": " + message + "\n");
    return kNothingDone;
}

LoadedCardFile::LoadedCardFile(const CardOptions& options)
    : file(options.file, files::realFileSystem()) {}

bool loadSorted(LoadedCardFile& card, bool mayBeMissing, int& exitCode) {
    switch (card.file.load(card.entries)) {
        case LoadProblem::missing:
            if (mayBeMissing) break;
            exitCode = fail(card.file.path(), "no such card file");
            return false;
        case LoadProblem::unreadable:
            exitCode =
                fail(card.file.path(), "the card file cannot be read: " + card.file.lastFailure());
            return false;
        case LoadProblem::tooLarge:
            exitCode =
                fail(card.file.path(), "the card file is too large for this program's memory");
            return false;
        case LoadProblem::none:
            break;
    }
    normaliseEntries(card.entries);
    return true;
}

bool isStandardOutput(const std::string& output) { return output.empty() || output == "-"; }

bool writeOutput(const std::string& output, const files::FileSystem::Producer& next,
                 int& exitCode) {
    if (isStandardOutput(output)) {
        for (std::string_view piece; next(piece);) console::out(std::string(piece));
        return true;
    }
    files::FileSystem& fs = files::realFileSystem();
    if (fs.writeDurably(output, next)) return true;
    exitCode = fail(output, "cannot be written: " + fs.lastFailure());
    return false;
}

std::string displayName(const std::string& first, const std::string& middle,
                        const std::string& last) {
    std::string name = last;
    if (!first.empty() || !middle.empty()) name += ",";
    for (const std::string* part : {&first, &middle})
        if (!part->empty()) name += " " + *part;
    return name.empty() ? kNoName : name;
}
