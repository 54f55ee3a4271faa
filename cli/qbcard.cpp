// qbcard: the Quillborough card file from the command line. It lists, finds and
// checks the entries, and moves them to and from vCard and CSV, through the same
// card-file code as the window program.

#include <CLI/CLI.hpp>

#include <string>

#include "cli/card_commands.h"
#include "cli/sync_command.h"
#include "interchange/codepage.h"
#include "platform/console.h"
#include "version.h"

int main(int argc, char** argv) {
    CLI::App app{
        "qbcard: the Quillborough card file from the command line.\n"
        "Exit codes: 0 all done, 1 done with rejected records, findings or conflicts, 2 nothing\n"
        "done (or a sync stopped part-way, what it did recorded)."};
    app.set_version_flag("--version", "qbcard " QB_VERSION_TEXT);
    app.require_subcommand(1);
    app.fallthrough();  // --file and --codepage may follow the command too

    CardOptions options;
    options.codePage = codepage::defaultCodePage();
    app.add_option("--file", options.file, "the card file")->capture_default_str();
    app.add_option("--codepage", options.codePage, "the card file's code page")
        ->capture_default_str()
        ->check([](const std::string& value) {
            return codepage::isSupported(static_cast<unsigned>(std::atoi(value.c_str())))
                       ? std::string()
                       : "code page " + value + " is not supported here";
        });

    std::string format = "table";
    CLI::App* list =
        app.add_subcommand("list", "the entries, sorted by last name, same names merged");
    list->add_option("--format", format, "table or tsv")
        ->capture_default_str()
        ->check(CLI::IsMember({"table", "tsv"}));

    std::string text;
    CLI::App* find = app.add_subcommand("find", "the entries with TEXT in any field, case ignored");
    find->add_option("TEXT", text, "what to look for")->required();

    CLI::App* exporting = app.add_subcommand("export", "the entries as vCard or CSV");
    exporting->require_subcommand(1);
    std::string output, vcardVersion = "3.0", layout = "plain";
    bool noByteOrderMark = false;
    CLI::App* vcardExport = exporting->add_subcommand("vcard", "vCard 3.0, or 4.0 on request");
    vcardExport->add_option("--vcard", vcardVersion, "3.0 or 4.0")
        ->capture_default_str()
        ->check(CLI::IsMember({"3.0", "4.0"}));
    vcardExport->add_option("-o,--output", output, "the file to write (standard output if none)");
    CLI::App* csvExport = exporting->add_subcommand("csv", "CSV, UTF-8 with a byte-order mark");
    csvExport->add_option("--layout", layout, "plain, google or outlook")
        ->capture_default_str()
        ->check(CLI::IsMember({"plain", "google", "outlook"}));
    csvExport->add_flag("--no-bom", noByteOrderMark, "leave out the byte-order mark");
    csvExport->add_option("-o,--output", output, "the file to write (standard output if none)");

    std::string input;
    bool dryRun = false, lossy = false;
    CLI::App* import = app.add_subcommand(
        "import", "a vCard or CSV file into the card file: same three names update, others add");
    import->add_option("FILE", input, "the vCard or CSV file")->required();
    import->add_flag("--dry-run", dryRun, "report what would change, change nothing");
    import->add_flag("--lossy", lossy, "store ? for a character the card file cannot hold");

    CLI::App* check = app.add_subcommand("check", "an integrity report of the card file");

    SyncSettings sync;
    std::string prefer = "remote";
    CLI::App* syncing = app.add_subcommand(
        "sync",
        "two-way sync with a CardDAV address book; the password comes from ~/.netrc, "
        "QBCARD_PASSWORD or the terminal");
    syncing->add_option("URL", sync.url, "the address book, or the server or account to find it")
        ->required();
    syncing->add_flag("--dry-run", sync.dryRun, "print every planned change, change nothing");
    syncing->add_option("--user", sync.user, "the user name (else the one in ~/.netrc)");
    syncing->add_option("--cacert", sync.caFile, "trust the certificates in FILE")
        ->check(CLI::ExistingFile);
    syncing->add_option("--prefer", prefer, "whose version a conflict keeps: local or remote")
        ->capture_default_str()
        ->check(CLI::IsMember({"local", "remote"}));
    syncing->add_flag("--force", sync.force,
                      "go on although one side is empty or more than half of one would go");
    syncing->add_flag("-v,--verbose", sync.verbose, "each request and its answer on stderr");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) return app.exit(e);  // --help, --version
        console::error("qbcard: " + std::string(e.what()) +
                       "\nRun qbcard --help for the commands.\n");
        return kNothingDone;
    }
#ifdef _WIN32
    // Windows hands a console program its arguments in the ANSI code page.
    std::string utf8Text;
    if (codepage::toUtf8(codepage::defaultCodePage(), text, utf8Text)) text = utf8Text;
#endif
    if (*list) return listEntries(options, format == "tsv");
    if (*find) return findEntries(options, text);
    if (*vcardExport)
        return exportVCard(options, vcardVersion == "4.0" ? vcard::Version::v4 : vcard::Version::v3,
                           output);
    if (*csvExport)
        return exportCsv(options,
                         layout == "google"    ? csv::Layout::google
                         : layout == "outlook" ? csv::Layout::outlook
                                               : csv::Layout::plain,
                         !noByteOrderMark, output);
    if (*import) return importContacts(options, input, dryRun, lossy);
    if (*check) return checkCardFile(options);
    if (*syncing) {
        sync.preferLocal = prefer == "local";
        return syncAddressBook(options, sync);
    }
    return kNothingDone;
}
