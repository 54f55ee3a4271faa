#include "form/commands.h"

#include <cstdio>
#include <string>

#include "data/card_codec.h"
#include "data/card_file.h"
#include "data/entry.h"
#include "data/program_globals.h"
#include "form/controls.h"
#include "form/form_binding.h"
#include "resources/resource.h"

namespace {

constexpr const char* kAppTitle = "Quillborough";
constexpr const char* kRemoveCaption = "Remove?";
constexpr const char* kRemoveQuestion = "Are you sure you wish to remove The entry ";
constexpr const char* kSaveCaption = "Save?";
constexpr const char* kSaveQuestion = "Do you wish to save what is currently in the fields?";

// List notifications carry code 1, button clicks code 0; every other code (edit
// and combo box notifications among them) is left to the default processing.
constexpr WORD kClickCode = BN_CLICKED;
constexpr WORD kSelectionCode = LBN_SELCHANGE;

bool askYesNo(HWND window, const std::string& question, const char* caption) {
    return MessageBoxA(window, question.c_str(), caption, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void showError(HWND window, const std::string& message) {
    MessageBoxA(window, message.c_str(), kAppTitle, MB_OK | MB_ICONERROR);
}

void showInformation(HWND window, const std::string& message) {
    MessageBoxA(window, message.c_str(), kAppTitle, MB_OK | MB_ICONINFORMATION);
}

const std::string kQuotedCardFile = std::string("\"") + kCardFileName + "\"";

std::string failureText(const SaveOutcome& outcome, bool changed) {
    std::string why;
    if (outcome.status == SaveStatus::unreadable)
        why =
            "The card file " + kQuotedCardFile + " cannot be read, so nothing was written over it.";
    else if (outcome.status == SaveStatus::tooLarge)
        why = "The card file " + kQuotedCardFile +
              " is too large for this program's memory, so nothing was written over it.";
    else if (changed)
        why = "The change could not be written to " + kQuotedCardFile + ".";
    else
        why = kQuotedCardFile + " could not be rewritten.";
    // A rewrite that changed nothing has nothing to keep.
    return why + (changed
                      ? " It is kept in memory and will be written with the next successful save."
                      : " Nothing had changed, and the card file is as it was.");
}

// Rewrites the card file and the list, then tells the user what they need to know:
// a failed write (the change stays in memory, where the next successful save picks
// it up), another program's changes read in, or where a backup was kept.
void saveAndRefresh(HWND window, const ListChange& change) {
    const bool changed = change.kind != ListChange::nothing;
    SaveOutcome outcome = saveCardFile();
    // A save leaves the collection normalised, unless it ran out of memory on the way.
    if (!outcome) normaliseEntries(entries);
    // Another program's changes may be anywhere in the list.
    refreshListAfter(outcome.reloaded ? ListChange() : change);
    std::string notes;
    if (outcome.reloaded)
        notes = "The card file " + kQuotedCardFile +
                " had been changed by another program. Its changes have been read and this "
                "program's applied to them, so the list now shows those changes too.";
    if (!outcome) {
        if (!notes.empty()) notes += "\n\n";
        return showError(window, notes + failureText(outcome, changed));
    }
    if (!outcome.backupName.empty())
        notes += (notes.empty() ? "" : "\n\n") + std::string("Some of ") + kQuotedCardFile +
                 " could not be loaded (it lay after an end-of-file mark or a zero byte), so "
                 "before the file was rewritten its original was kept as \"" +
                 outcome.backupName + "\".";
    if (!notes.empty()) showInformation(window, notes);
}

std::string describeByte(int byte) {
    char text[48];
    if (byte >= 0x20)
        std::snprintf(text, sizeof text, "the character \"%c\" (0x%02X)", static_cast<char>(byte),
                      byte);
    else
        std::snprintf(text, sizeof text, "the control character 0x%02X", byte);
    return text;
}

// A field holding a separator, the terminator or Ctrl-Z would split its record when the
// card file is read again, so such a form is refused with the field and byte named. The
// sex comes from the radio buttons and is always storable.
bool formCanBeStored(HWND window, const Entry& entry) {
    const auto fields = fieldsOf(entry);
    for (int field = 0; field < kFieldCount; ++field) {
        int byte = firstUnstorableByte(*fields[field]);
        if (byte < 0) continue;
        showError(window, std::string("The ") + kFieldLabels[field] + " field holds " +
                              describeByte(byte) +
                              ", which the card file cannot store. Please change it and save "
                              "again.");
        return false;
    }
    return true;
}

void showSelection(HWND) { showEntry(listSelection()); }

void back(HWND) {
    int selected = listSelection();
    if (selected < 1) return;
    selectListRow(selected - 1);
    showEntry(selected - 1);
}

void next(HWND) {
    // Unsigned on purpose: no selection (-1) is then never below the last row.
    auto selected = static_cast<unsigned>(listSelection());
    if (selected < entryCount() - 1u) {
        selectListRow(static_cast<int>(selected + 1));
        showEntry(static_cast<int>(selected + 1));
    }
}

void removeEntry(HWND window) {
    int selected = listSelection();
    if (selected < 0 || static_cast<unsigned>(selected) >= entryCount()) return;
    const Entry chosen = entryAt(static_cast<unsigned>(selected));
    std::string question = kRemoveQuestion + chosen.lastName + ", " + chosen.firstName + "?";
    ListChange change;  // a "No" changes nothing
    change.kind = ListChange::nothing;
    if (askYesNo(window, question, kRemoveCaption)) {
        const unsigned count = entryCount();
        change = ListChange::ofErased(removeSameNames(chosen));
        // The fields keep showing the last entry, as they always have.
        if (count > 1) clearForm();
    }
    // Even a "No" rewrites the card file and the list, dropping the selection.
    saveAndRefresh(window, change);
}

// Returns false when the form was refused and nothing changed. Even a form that
// changes nothing rewrites the card file and the list, dropping the selection.
bool saveForm(HWND window) {
    scratchEntry.firstName = readField(firstNameField);
    scratchEntry.middleName = readField(middleNameField);
    scratchEntry.lastName = readField(lastNameField);
    scratchEntry.address = readField(addressField);
    scratchEntry.sex = readSex();
    if (!formCanBeStored(window, scratchEntry)) return false;
    putEntry(scratchEntry);
    saveAndRefresh(window, ListChange::ofPut(scratchEntry));
    return true;
}

void save(HWND window) { saveForm(window); }

void newForm(HWND window) {
    // The radio buttons do not count as content; the initial captions do.
    bool hasContent = !readField(firstNameField).empty() || !readField(middleNameField).empty() ||
                      !readField(lastNameField).empty() || !readField(addressField).empty();
    if (hasContent && askYesNo(window, kSaveQuestion, kSaveCaption)) {
        // A refused form stays as it is, so the user can correct it.
        if (!saveForm(window)) return;
    }
    clearForm();
}

}  // namespace

bool mayCloseWindow(HWND window) {
    if (!hasUnwrittenChanges()) return true;
    SaveOutcome outcome = saveCardFile();
    if (outcome) return true;
    // Another program's changes were read in: the window may stay open, so the list
    // must show them before anyone picks a row.
    if (outcome.reloaded) refreshList();
    return MessageBoxA(window,
                       ("Some changes could not be written to " + kQuotedCardFile +
                        " and exist only in memory. Close anyway and lose them?")
                           .c_str(),
                       kAppTitle, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDYES;
}

void reportOutOfMemory(HWND window) {
    showError(window, "There was not enough memory to finish. The card file " + kQuotedCardFile +
                          " holds what the last successful save wrote.");
}

void reportLoadProblem(HWND window, LoadProblem problem) {
    if (problem == LoadProblem::unreadable)
        showError(window, "The card file " + kQuotedCardFile +
                              " exists but could not be read, so the list is empty. Nothing "
                              "will be written over it: the next save reads it first.");
    else if (problem == LoadProblem::tooLarge)
        showError(window, "The card file " + kQuotedCardFile +
                              " is too large for this program's memory and was not loaded. "
                              "Nothing will be written over it.");
}

LRESULT handleCommand(HWND window, WPARAM wParam, LPARAM lParam) {
    // Buttons act on list notifications too; the list's own code 1 shows the row,
    // while a click on the Male button, which shares its identifier, does nothing.
    static const struct {
        WORD id, code;
        void (*handler)(HWND);
    } kCommands[] = {
        {IDC_ENTRY_LIST, kSelectionCode, showSelection},
        {IDC_BACK, kClickCode, back},
        {IDC_BACK, kSelectionCode, back},
        {IDC_NEXT, kClickCode, next},
        {IDC_NEXT, kSelectionCode, next},
        {IDC_REMOVE, kClickCode, removeEntry},
        {IDC_REMOVE, kSelectionCode, removeEntry},
        {IDC_SAVE, kClickCode, save},
        {IDC_SAVE, kSelectionCode, save},
        {IDC_NEW, kClickCode, newForm},
        {IDC_NEW, kSelectionCode, newForm},
    };
    for (const auto& command : kCommands)
        if (command.id == LOWORD(wParam) && command.code == HIWORD(wParam)) command.handler(window);
    return DefWindowProcA(window, WM_COMMAND, wParam, lParam);
}
