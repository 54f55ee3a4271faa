#include "cli/command_line.h"

#include <CLI/CLI.hpp>

#include <new>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "cli/card_commands.h"
#include "cli/sync_command.h"
#include "interchange/codepage.h"
#include "interchange/text_encoding.h"
#include "platform/console.h"
#include "platform/conventions.h"
#include "sync/carddav.h"
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

const std::vector<std::pair<std::string, bool>> kConflictWinners = {{"remote", false},
                                                                    {"local", true}};
const std::vector<std::pair<std::string, ListFormat>> kListFormats = {{"table", ListFormat::table},
                                                                      {"tsv", ListFormat::tsv}};

// What the command line asks for, filled in by CLI11 as it parses.
struct Request {
    CardOptions options;
    ListFormat format = ListFormat::table;
    std::vector<std::string> terms, inputs;
    std::string output;
    vcard::Version vcardVersion = vcard::Version::v3;
    csv::Layout layout = csv::Layout::plain;
    bool noByteOrderMark = false;
    ImportOptions import;
    SyncSettings sync;
    CLI::App *list, *find, *vcardExport, *csvExport, *importing, *check, *syncing;
};

// Each command's help ends with the options every command takes, and an example.
void describe(CLI::App* command, const std::string& example) {
    command->footer(
        "Options of every command: --file PATH (the card file, default test.txt), "
        "--codepage N.\nExample: " +
        example);
}

void addFormatOption(CLI::App* command, ListFormat& format) {
    command->add_option("--format", format, "table or tsv")
        ->type_name("TEXT")
        ->default_str("table")
        ->transform(oneOf(kListFormats));
}

void addListingCommands(CLI::App& app, Request& r) {
    r.list = app.add_subcommand("list", "the entries, sorted by last name, same names merged");
    addFormatOption(r.list, r.format);
    describe(r.list, "qbcard list --format tsv");

    r.find = app.add_subcommand(
        "find", "the entries with every TERM in some field, letters without case or accents");
    r.find->add_option("TERM", r.terms, "what to look for")->required();
    addFormatOption(r.find, r.format);
    describe(r.find, "qbcard find dube paris");
}

void addExportCommands(CLI::App& app, Request& r) {
    CLI::App* exporting = app.add_subcommand("export", "the entries as vCard or CSV");
    exporting->require_subcommand(1);
    describe(exporting, "qbcard export vcard -o book.vcf");
    r.vcardExport = exporting->add_subcommand("vcard", "vCard 3.0, or 4.0 on request");
    r.vcardExport->add_option("--vcard", r.vcardVersion, "3.0 or 4.0")
        ->type_name("TEXT")
        ->default_str("3.0")
        ->transform(oneOf(kVCardVersions));
    r.vcardExport->add_option("-o,--output", r.output,
                              "the file to write (standard output if none, or -)");
    describe(r.vcardExport, "qbcard export vcard --vcard 4.0 -o book.vcf");
    r.csvExport = exporting->add_subcommand("csv", "CSV, UTF-8 with a byte-order mark");
    r.csvExport->add_option("--layout", r.layout, "plain, google or outlook")
        ->type_name("TEXT")
        ->default_str("plain")
        ->transform(oneOf(kCsvLayouts));
    r.csvExport->add_flag("--no-bom", r.noByteOrderMark, "leave out the byte-order mark");
    r.csvExport->add_option("-o,--output", r.output,
                            "the file to write (standard output if none, or -)");
    describe(r.csvExport, "qbcard export csv --layout google -o contacts.csv");
}

void addImportCommand(CLI::App& app, Request& r) {
    ImportOptions& how = r.import;
    r.importing = app.add_subcommand(
        "import",
        "vCard or CSV files (- for standard input, a folder for its .vcf files) into the card "
        "file: same three names update what the record carries, others add");
    r.importing->add_option("FILE", r.inputs, "the vCard or CSV files")->required();
    r.importing->add_flag("--dry-run", how.dryRun, "report what would change, change nothing");
    r.importing->add_flag("--lossy", how.lossy,
                          "store ? for a character the card file cannot hold");
    r.importing->add_flag("--replace", how.replace,
                          "a record without an address or sex empties the stored one");
    r.importing->add_flag("--force", how.force,
                          "rewrite a --file that is not a card file, keeping its original");
    r.importing
        ->add_option("--input-encoding", how.inputEncoding,
                     "UTF-8 (the default), UTF-16, UTF-16LE, UTF-16BE or a code page such as 1252")
        ->check([](const std::string& value) {
            return text_encoding::isKnown(value) ? std::string()
                                                 : "the encoding " + value + " is not known here";
        });
    describe(r.importing, "qbcard import contacts.csv --input-encoding 1252 --dry-run");
}

void addSyncCommand(CLI::App& app, Request& r) {
    SyncSettings& sync = r.sync;
    r.syncing = app.add_subcommand(
        "sync", std::string("two-way sync with a CardDAV address book; the password comes from ") +
                    conventions::kNetrc + ", QBCARD_PASSWORD or the terminal");
    r.syncing->add_option("URL", sync.url, "the address book, or the server or account to find it")
        ->required();
    r.syncing->add_flag("--dry-run", sync.dryRun, "print every planned change, change nothing");
    r.syncing->add_option(
        "--user", sync.user,
        std::string("the user name (else the one in ") + conventions::kNetrc + ")");
    r.syncing->add_option("--cacert", sync.caFile, "trust the certificates in FILE")
        ->check(CLI::ExistingFile);
    r.syncing
        ->add_option("--prefer", sync.preferLocal,
                     "whose version a conflict keeps: local or remote")
        ->type_name("TEXT")
        ->default_str("remote")
        ->transform(oneOf(kConflictWinners));
    r.syncing->add_flag("--force", sync.force,
                        "go on although one side is empty or more than half of one would go");
    r.syncing->add_flag("-v,--verbose", sync.verbose, "each request and its answer on stderr");
    describe(r.syncing, "qbcard sync https://dav.example.org/ --user ann --dry-run");
    r.syncing->footer(
        r.syncing->get_footer() +
        "\nA server that answers 503 or 429 with Retry-After is asked again when it says, "
        "for at most " +
        std::to_string(carddav::kMostRetryWaitSeconds) +
        " seconds of waiting in all; then the sync stops and says when the server asked to "
        "be called again.");
}

// The commands in the order the help lists them.
void addCommands(CLI::App& app, Request& r) {
    addListingCommands(app, r);
    addExportCommands(app, r);
    addImportCommand(app, r);
    r.check = app.add_subcommand("check", "an integrity report of the card file");
    describe(r.check, std::string("qbcard --file ") + conventions::kCardFileExample + " check");
    addSyncCommand(app, r);
}

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
    addCommands(app, r);
}

int run(Request& r) {
    if (*r.list) return listEntries(r.options, r.format);
    if (*r.find) return findEntries(r.options, r.terms, r.format);
    if (*r.vcardExport) return exportVCard(r.options, r.vcardVersion, r.output);
    if (*r.csvExport) return exportCsv(r.options, r.layout, !r.noByteOrderMark, r.output);
    if (*r.importing) return importContacts(r.options, r.inputs, r.import);
    if (*r.check) return checkCardFile(r.options);
    if (*r.syncing) return syncAddressBook(r.options, r.sync);
    return kNothingDone;
}

// A word the command line does not know, named, instead of CLI11's "A subcommand
// is required" for `qbcard lst` or `qbcard export json`.
std::string parseFailure(const CLI::App& app, const CLI::ParseError& e) {
    const std::vector<std::string> unknown = app.remaining(true);
    if (dynamic_cast<const CLI::RequiredError*>(&e) && !unknown.empty())
        return (unknown[0].rfind("-", 0) == 0 ? "unknown option " : "unknown command ") +
               unknown[0];
    return e.what();
}

}  // namespace

int runCommandLine(int argc, const char* const* argv) {
    CLI::App app{
        "qbcard: the Quillborough card file from the command line.\n"
        "Exit codes: 0 all done, 1 done with rejected records, findings or conflicts, 2 nothing\n"
        "done (or a sync stopped part-way, what it did recorded).",
        "qbcard"};  // the usage line names the command, not the path it was started by
    Request request;
    addOptions(app, request);
    std::vector<const char*> arguments(argv, argv + argc);
#ifdef _WIN32
    // A Windows user asks any program for help with /?.
    for (const char*& argument : arguments)
        if (std::string(argument) == "/?") argument = "--help";
#endif
    try {
        app.parse(static_cast<int>(arguments.size()), arguments.data());
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) return app.exit(e);  // --help, --version
        complain(parseFailure(app, e) + "\nRun qbcard --help for the commands.");
        return kNothingDone;
    }
    int exitCode = kNothingDone;
    try {
        exitCode = run(request);
    } catch (const std::bad_alloc&) {
        complain("out of memory; the card file is as it was");
        return kNothingDone;
    } catch (const std::length_error&) {
        complain("out of memory; the card file is as it was");
        return kNothingDone;
    }
    std::string why;
    if (console::flushOutput(why)) return exitCode;
    complain("standard output: cannot be written: " + why);
    return kNothingDone;
}
