#include "cli/command_line.h"

#include <CLI/CLI.hpp>

#include <string>
#include <utility>
#include <vector>

#include "cli/card_commands.h"
#include "interchange/codepage.h"
#include "platform/console.h"
#include "version.h"

namespace {

// The words of the options that choose a format, in the order the help lists them.
const std::vector<std::pair<std::string, vcard::Version>> kVCardVersions = {
    {"3.0", vcard::Version::v3}, {"4.0", vcard::Version::v4}};
const std::vector<std::pair<std::string, csv::Layout>> kCsvLayouts = {
    {"plain", csv::Layout::plain},
    {"google", csv::Layout::google},
    {"outlook", csv::Layout::outlook}};

// Takes one of `words` and gives the option its value; any other word is refused
// with the list of words, in their order.
template <typename Value>
CLI::Validator oneOf(const std::vector<std::pair<std::string, Value>>& words) {
    const CLI::Validator isMember = CLI::IsMember(words);
    return CLI::Validator(
        [isMember, words](std::string& word) {
            std::string refusal = isMember(word);
            for (const auto& [known, value] : words)
                if (refusal.empty() && word == known)
                    word = std::to_string(static_cast<int>(value));
            return refusal;
        },
        isMember.get_description());
}

// What the command line asks for, filled in by CLI11 as it parses.
struct Request {
    CardOptions options;
    std::string format = "table", text, output, input;
    vcard::Version vcardVersion = vcard::Version::v3;
    csv::Layout layout = csv::Layout::plain;
    bool noByteOrderMark = false, dryRun = false, lossy = false;
    CLI::App *list, *find, *vcardExport, *csvExport, *import, *check;
};

void addOptions(CLI::App& app, Request& r) {
    app.set_version_flag("--version", "qbcard " QB_VERSION_TEXT);
    app.require_subcommand(1);
    app.fallthrough();  // --file and --codepage may follow the command too
    r.options.codePage = codepage::defaultCodePage();
    app.add_option("--file", r.options.file, "the card file")->capture_default_str();
    app.add_option("--codepage", r.options.codePage, "the card file's code page")
        ->capture_default_str()
        ->check([](const std::string& value) {
            return codepage::isSupported(static_cast<unsigned>(std::atoi(value.c_str())))
                       ? std::string()
                       : "code page " + value + " is not supported here";
        });

    r.list = app.add_subcommand("list", "the entries, sorted by last name, same names merged");
    r.list->add_option("--format", r.format, "table or tsv")
        ->capture_default_str()
        ->check(CLI::IsMember({"table", "tsv"}));

    r.find = app.add_subcommand("find", "the entries with TEXT in any field, case ignored");
    r.find->add_option("TEXT", r.text, "what to look for")->required();

    CLI::App* exporting = app.add_subcommand("export", "the entries as vCard or CSV");
    exporting->require_subcommand(1);
    r.vcardExport = exporting->add_subcommand("vcard", "vCard 3.0, or 4.0 on request");
    r.vcardExport->add_option("--vcard", r.vcardVersion, "3.0 or 4.0")
        ->type_name("TEXT")
        ->default_str("3.0")
        ->transform(oneOf(kVCardVersions));
    r.vcardExport->add_option("-o,--output", r.output,
                              "the file to write (standard output if none)");
    r.csvExport = exporting->add_subcommand("csv", "CSV, UTF-8 with a byte-order mark");
    r.csvExport->add_option("--layout", r.layout, "plain, google or outlook")
        ->type_name("TEXT")
        ->default_str("plain")
        ->transform(oneOf(kCsvLayouts));
    r.csvExport->add_flag("--no-bom", r.noByteOrderMark, "leave out the byte-order mark");
    r.csvExport->add_option("-o,--output", r.output, "the file to write (standard output if none)");

    r.import = app.add_subcommand(
        "import", "a vCard or CSV file into the card file: same three names update, others add");
    r.import->add_option("FILE", r.input, "the vCard or CSV file")->required();
    r.import->add_flag("--dry-run", r.dryRun, "report what would change, change nothing");
    r.import->add_flag("--lossy", r.lossy, "store ? for a character the card file cannot hold");

    r.check = app.add_subcommand("check", "an integrity report of the card file");
}

int run(Request& r) {
#ifdef _WIN32
    // Windows hands a console program its arguments in the ANSI code page.
    std::string utf8Text;
    if (codepage::toUtf8(codepage::defaultCodePage(), r.text, utf8Text)) r.text = utf8Text;
#endif
    if (*r.list) return listEntries(r.options, r.format == "tsv");
    if (*r.find) return findEntries(r.options, r.text);
    if (*r.vcardExport) return exportVCard(r.options, r.vcardVersion, r.output);
    if (*r.csvExport) return exportCsv(r.options, r.layout, !r.noByteOrderMark, r.output);
    if (*r.import) return importContacts(r.options, r.input, r.dryRun, r.lossy);
    if (*r.check) return checkCardFile(r.options);
    return kNothingDone;
}

}  // namespace

int runCommandLine(int argc, const char* const* argv) {
    CLI::App app{
        "qbcard: the Quillborough card file from the command line.\n"
        "Exit codes: 0 all done, 1 done with rejected records or findings, 2 nothing done."};
    Request request;
    addOptions(app, request);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) return app.exit(e);  // --help, --version
        console::error("qbcard: " + std::string(e.what()) +
                       "\nRun qbcard --help for the commands.\n");
        return kNothingDone;
    }
    return run(request);
}
