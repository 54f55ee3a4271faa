#include "cli/command_support.h"

#include "platform/console.h"
#include "platform/files.h"

LoadedCardFile::LoadedCardFile(const CardOptions& options)
    : file(options.file, files::realFileSystem()) {}

bool loadSorted(LoadedCardFile& card, bool mayBeMissing, int& exitCode) {
    const LoadProblem problem = card.file.load(card.entries);
    if (problem != LoadProblem::none && !(problem == LoadProblem::missing && mayBeMissing)) {
        exitCode = fail(card.file.path(), loadProblemText(problem, card.file.lastFailure()));
        return false;
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
