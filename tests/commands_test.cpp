#include "form/commands.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <random>

#include "data/card_codec.h"
#include "data/card_file.h"
#include "data/program_globals.h"
#include "form/form_binding.h"
#include "platform/winstub.h"
#include "resources/resource.h"
#include "tests/support/stub_form.h"

namespace {

const std::string FE = "\xFE", FD = "\xFD";
const std::vector<std::string> kCaptions = {"First Name", "Middle Name", "Last Name", "Address"};

class CommandsTest : public ::testing::Test {
  protected:
    StubForm form;
    winstub::State& stub = winstub::state();

    LRESULT command(WORD id, WORD code = BN_CLICKED) {
        return handleCommand(form.mainWindow, MAKEWPARAM(id, code), 0);
    }
    void answer(int reply) { stub.answers.push_back(reply); }

    // Three entries on disk and listed: Abe, Lee, Zed.
    void startWithThree() {
        entries.push_back(person("Al", "", "Abe", "A", "Male"));
        entries.push_back(person("Ann", "M", "Lee", "L", "Female"));
        entries.push_back(person("Bo", "", "Zed", "Z", "Male"));
        saveCardFile();
        refreshList();
    }
    std::string cardFileBytes() const { return readBytes(kCardFileName); }
    bool cardFileExists() const { return std::filesystem::exists(kCardFileName); }
};

TEST_F(CommandsTest, DispatchActsOnlyOnClickAndListCodes) {
    struct Case {
        WORD id, code;
        bool saves;
    };
    const Case cases[] = {
        {IDC_SAVE, BN_CLICKED, true},        {IDC_SAVE, 1, true},
        {IDC_SAVE, EN_CHANGE, false},        {IDC_MALE, BN_CLICKED, false},
        {IDC_LAST_NAME, EN_CHANGE, false},   {IDC_FEMALE, BN_CLICKED, false},
        {IDC_CARD, BN_CLICKED, false},       {IDC_CITY, 1, false},
        {IDC_FIRST_NAME, BN_CLICKED, false}, {IDC_ENTRY_LIST, 2, false},
    };
    for (const Case& c : cases) {
        entries.clear();
        std::filesystem::remove(kCardFileName);
        stub.defWindowProcCalls.clear();
        stub.defWindowProcResult = 1234;
        form.fill("Ann", "", "Lee", "", false);
        const LPARAM control = 77;
        LRESULT result = handleCommand(form.mainWindow, MAKEWPARAM(c.id, c.code), control);
        EXPECT_EQ(entryCount(), c.saves ? 1u : 0u) << c.id << "/" << c.code;
        EXPECT_EQ(cardFileExists(), c.saves) << c.id << "/" << c.code;
        EXPECT_EQ(result, 1234);
        ASSERT_EQ(stub.defWindowProcCalls.size(), 1u);
        const winstub::DefWindowProcCall& call = stub.defWindowProcCalls[0];
        EXPECT_EQ(call.window, form.mainWindow);
        EXPECT_EQ(call.message, WM_COMMAND);
        EXPECT_EQ(call.wParam, MAKEWPARAM(c.id, c.code));
        EXPECT_EQ(call.lParam, control);
    }
    EXPECT_TRUE(stub.messageBoxes.empty());
}

TEST_F(CommandsTest, ListSelectionShowsTheSelectedEntry) {
    startWithThree();
    entryList->selection = 1;
    command(IDC_ENTRY_LIST, LBN_SELCHANGE);
    EXPECT_EQ(form.fieldTexts(), (std::vector<std::string>{"Ann", "M", "Lee", "L"}));
    EXPECT_EQ(femaleButton->state, BST_CHECKED);

    form.fill("x", "x", "x", "x", false);
    entryList->selection = LB_ERR;
    command(IDC_ENTRY_LIST, LBN_SELCHANGE);
    EXPECT_EQ(form.fieldTexts(), (std::vector<std::string>{"x", "x", "x", "x"}));
}

TEST_F(CommandsTest, BackAndNextStepWithinTheList) {
    struct Case {
        WORD id;
        LRESULT selected;
        LRESULT expectedSelection;
        const char* expectedFirstName;
    };
    const Case cases[] = {
        {IDC_BACK, 2, 1, "Ann"},        {IDC_BACK, 1, 0, "Al"},
        {IDC_BACK, 0, 0, "First Name"}, {IDC_BACK, LB_ERR, LB_ERR, "First Name"},
        {IDC_NEXT, 0, 1, "Ann"},        {IDC_NEXT, 1, 2, "Bo"},
        {IDC_NEXT, 2, 2, "First Name"}, {IDC_NEXT, LB_ERR, LB_ERR, "First Name"},
    };
    startWithThree();
    for (const Case& c : cases) {
        firstNameField->text = "First Name";
        entryList->selection = c.selected;
        command(c.id);
        EXPECT_EQ(entryList->selection, c.expectedSelection) << c.id << " from " << c.selected;
        EXPECT_EQ(firstNameField->text, c.expectedFirstName) << c.id << " from " << c.selected;
    }
}

TEST_F(CommandsTest, NextOnAnEmptyListDoesNothing) {
    refreshList();
    command(IDC_NEXT);
    EXPECT_EQ(entryList->selection, LB_ERR);
    EXPECT_EQ(form.fieldTexts(), kCaptions);
}

TEST_F(CommandsTest, RemoveWithoutSelectionAsksNothingAndWritesNothing) {
    startWithThree();
    std::filesystem::remove(kCardFileName);
    command(IDC_REMOVE);
    EXPECT_TRUE(stub.messageBoxes.empty());
    EXPECT_FALSE(cardFileExists());
    EXPECT_EQ(entryCount(), 3u);
}

TEST_F(CommandsTest, RemoveAsksByNameAndRemovesOnYes) {
    startWithThree();
    entryList->selection = 1;
    command(IDC_ENTRY_LIST, LBN_SELCHANGE);
    answer(IDYES);
    command(IDC_REMOVE);

    ASSERT_EQ(stub.messageBoxes.size(), 1u);
    EXPECT_EQ(stub.messageBoxes[0].owner, form.mainWindow);
    EXPECT_EQ(stub.messageBoxes[0].text, "Are you sure you wish to remove The entry Lee, Ann?");
    EXPECT_EQ(stub.messageBoxes[0].caption, "Remove?");
    EXPECT_EQ(stub.messageBoxes[0].type, MB_YESNO | MB_ICONQUESTION);
    EXPECT_EQ(entryList->rows, (std::vector<std::string>{"Abe , Al", "Zed , Bo"}));
    EXPECT_EQ(entryList->selection, LB_ERR);
    EXPECT_EQ(form.fieldTexts(), (std::vector<std::string>{"", "", "", ""}));
    EXPECT_EQ(cardFileBytes(), "Al" + FE + FE + "Abe" + FE + "A" + FE + "Male" + FD + "Bo" + FE +
                                   FE + "Zed" + FE + "Z" + FE + "Male" + FD);
}

TEST_F(CommandsTest, RemoveAnsweredNoStillRewritesAndDropsSelection) {
    startWithThree();
    entries.push_back(person("Cy", "", "Abe"));  // in memory only, out of order
    entryList->selection = 0;
    form.fill("shown", "", "", "", false);
    answer(IDNO);
    command(IDC_REMOVE);
    EXPECT_EQ(entryCount(), 4u);
    EXPECT_EQ(entryList->rows.size(), 4u);
    EXPECT_EQ(entryList->rows[1], "Abe , Cy");
    EXPECT_EQ(entryList->selection, LB_ERR);
    EXPECT_EQ(firstNameField->text, "shown");
    EXPECT_NE(cardFileBytes().find("Cy"), std::string::npos);
}

TEST_F(CommandsTest, RemovingTheOnlyEntryLeavesItInTheFields) {
    entries.push_back(person("Ann", "", "Lee", "L", "Female"));
    refreshList();
    entryList->selection = 0;
    command(IDC_ENTRY_LIST, LBN_SELCHANGE);
    answer(IDYES);
    command(IDC_REMOVE);
    EXPECT_EQ(entryCount(), 0u);
    EXPECT_TRUE(entryList->rows.empty());
    EXPECT_EQ(form.fieldTexts(), (std::vector<std::string>{"Ann", "", "Lee", "L"}));
    EXPECT_EQ(cardFileBytes(), "");
}

TEST_F(CommandsTest, SaveStoresTheFormAndUpdatesSameNames) {
    form.fill("Ann", "M", "Lee", "1 Road\r\nTown", true);
    command(IDC_SAVE);
    EXPECT_EQ(cardFileBytes(),
              "Ann" + FE + "M" + FE + "Lee" + FE + "1 Road\r\r\nTown" + FE + "Male" + FD);
    EXPECT_EQ(entryList->rows, (std::vector<std::string>{"Lee , Ann"}));
    EXPECT_EQ(form.fieldTexts(), (std::vector<std::string>{"Ann", "M", "Lee", "1 Road\r\nTown"}));
    EXPECT_EQ(scratchEntry.address, "1 Road\r\nTown");

    entryList->selection = 0;
    form.fill("Ann", "M", "Lee", "2 Lane", false);
    command(IDC_SAVE);
    ASSERT_EQ(entryCount(), 1u);
    EXPECT_EQ(entryAt(0).address, "2 Lane");
    EXPECT_EQ(entryAt(0).sex, "Female");
    EXPECT_EQ(entryList->selection, LB_ERR);
    EXPECT_TRUE(stub.messageBoxes.empty());
}

TEST_F(CommandsTest, SaveStoresTheInitialCaptionsUnchanged) {
    command(IDC_SAVE);
    EXPECT_EQ(cardFileBytes(), "First Name" + FE + "Middle Name" + FE + "Last Name" + FE +
                                   "Address" + FE + "Female" + FD);
}

TEST_F(CommandsTest, NewAsksOnlyWhenAFieldHoldsText) {
    struct Case {
        std::vector<std::string> fields;
        bool male;
        bool asks;
    };
    const Case cases[] = {
        {kCaptions, false, true},
        {{"", "", "", "x"}, false, true},
        {{"", "", "", ""}, true, false},
    };
    for (const Case& c : cases) {
        stub.messageBoxes.clear();
        form.fill(c.fields[0], c.fields[1], c.fields[2], c.fields[3], c.male);
        answer(IDNO);
        command(IDC_NEW);
        EXPECT_EQ(stub.messageBoxes.size(), c.asks ? 1u : 0u);
        if (c.asks) {
            EXPECT_EQ(stub.messageBoxes[0].text,
                      "Do you wish to save what is currently in the fields?");
            EXPECT_EQ(stub.messageBoxes[0].caption, "Save?");
            EXPECT_EQ(stub.messageBoxes[0].type, MB_YESNO | MB_ICONQUESTION);
            EXPECT_EQ(stub.messageBoxes[0].owner, form.mainWindow);
        }
        EXPECT_EQ(form.fieldTexts(), (std::vector<std::string>{"", "", "", ""}));
        EXPECT_EQ(maleButton->state, BST_UNCHECKED);
        stub.answers.clear();
    }
    EXPECT_EQ(entryCount(), 0u);
    EXPECT_FALSE(cardFileExists());
}

TEST_F(CommandsTest, NewAnsweredYesSavesThenClears) {
    startWithThree();
    entryList->selection = 2;
    form.fill("Di", "", "Moe", "D", true);
    answer(IDYES);
    command(IDC_NEW);
    EXPECT_EQ(entryList->rows,
              (std::vector<std::string>{"Abe , Al", "Lee , Ann", "Moe , Di", "Zed , Bo"}));
    EXPECT_NE(cardFileBytes().find("Di" + FE + FE + "Moe" + FE + "D" + FE + "Male"),
              std::string::npos);
    EXPECT_EQ(form.fieldTexts(), (std::vector<std::string>{"", "", "", ""}));
    EXPECT_EQ(entryList->selection, LB_ERR);
}

TEST_F(CommandsTest, NewAnsweredNoKeepsSelection) {
    startWithThree();
    const std::string before = cardFileBytes();
    entryList->selection = 1;
    answer(IDNO);
    command(IDC_NEW);
    EXPECT_EQ(entryList->selection, 1);
    EXPECT_EQ(cardFileBytes(), before);
    EXPECT_EQ(entryCount(), 3u);
}

TEST_F(CommandsTest, SaveRefusesBytesTheCardFileCannotStore) {
    struct Case {
        std::vector<std::string> fields;
        std::string message;
    };
    const Case cases[] = {
        {{"Jan", "", "Novotn\xFD", ""},
         "The Last Name field holds the character \"\xFD\" (0xFD), which the card file cannot "
         "store. Please change it and save again."},
        {{"\xFEor", "", "Lee", ""},
         "The First Name field holds the character \"\xFE\" (0xFE), which the card file cannot "
         "store. Please change it and save again."},
        {{"A", "", "B", "x\x1Ay"},
         "The Address field holds the control character 0x1A, which the card file cannot store. "
         "Please change it and save again."},
    };
    startWithThree();
    const std::string before = cardFileBytes();
    for (const Case& c : cases) {
        stub.messageBoxes.clear();
        entryList->selection = 1;
        form.fill(c.fields[0], c.fields[1], c.fields[2], c.fields[3], true);
        command(IDC_SAVE);
        answer(IDYES);
        command(IDC_NEW);
        ASSERT_EQ(stub.messageBoxes.size(), 3u);
        for (int box : {0, 2}) {
            EXPECT_EQ(stub.messageBoxes[box].owner, form.mainWindow);
            EXPECT_EQ(stub.messageBoxes[box].type, MB_OK | MB_ICONERROR);
        }
        EXPECT_EQ(stub.messageBoxes[0].text, c.message);
        EXPECT_EQ(entryCount(), 3u);
        EXPECT_EQ(cardFileBytes(), before);
        EXPECT_EQ(entryList->selection, 1);      // not refreshed
        EXPECT_EQ(form.fieldTexts(), c.fields);  // New keeps a refused form
    }
}

TEST_F(CommandsTest, UnwritableCardFileIsReportedAndChangeKeptInMemory) {
    startWithThree();
    const std::string before = cardFileBytes();
    makeReadOnly(kCardFileName);
    form.fill("Di", "", "Moe", "D", true);
    command(IDC_SAVE);
    entryList->selection = 0;
    answer(IDYES);
    command(IDC_REMOVE);

    ASSERT_EQ(stub.messageBoxes.size(), 3u);
    for (int box : {0, 2}) {
        EXPECT_EQ(stub.messageBoxes[box].text,
                  "The change could not be written to \"test.txt\". It is kept in memory and will "
                  "be written with the next successful save.");
        EXPECT_EQ(stub.messageBoxes[box].type, MB_OK | MB_ICONERROR);
        EXPECT_EQ(stub.messageBoxes[box].owner, form.mainWindow);
    }
    EXPECT_EQ(cardFileBytes(), before);
    EXPECT_EQ(entryList->rows, (std::vector<std::string>{"Lee , Ann", "Moe , Di", "Zed , Bo"}));

    std::filesystem::permissions(kCardFileName, std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);
    form.fill("", "", "", "", false);
    command(IDC_SAVE);
    EXPECT_EQ(stub.messageBoxes.size(), 3u);
    entries.clear();
    loadCardFile();
    EXPECT_EQ(entryCount(), 4u);  // Lee, Moe, Zed and the empty one: everything kept in memory
}

}  // namespace

TEST_F(CommandsTest, ASaveTellsOfAnotherProgramsChangesAndOfBackups) {
    const struct {
        const char* name;
        bool changedByAnotherProgram;  // otherwise loaded in part
        std::string text;
        std::vector<std::string> rows;
    } cases[] = {
        {"changed by another program",
         true,
         "The card file \"test.txt\" had been changed by another program. Its changes have been "
         "read and this program's applied to them, so the list now shows those changes too.",
         {"Abe , Al", "Lee , Ann", "Moe , Di", "Yu , Eve", "Zed , Bo"}},
        {"loaded in part",
         false,
         "Some of \"test.txt\" could not be loaded (it lay after an end-of-file mark or a zero "
         "byte), so before the file was rewritten its original was kept as \"test.txt.bak\".",
         {"Abe , Al", "Moe , Di"}},
    };
    for (const auto& c : cases) {
        for (const auto& file : std::filesystem::directory_iterator(form.folder.path()))
            std::filesystem::remove(file.path());
        entries.clear();
        loadCardFile();
        if (c.changedByAnotherProgram) {
            startWithThree();
            writeBytes(kCardFileName,
                       cardFileBytes() + "Eve" + FE + FE + "Yu" + FE + FE + "F" + FD);
        } else {
            writeBytes(kCardFileName, "Al" + FE + FE + "Abe" + FE + FE + "M" + FD + "\x1A" + "Bo");
            loadCardFile();
        }
        stub.messageBoxes.clear();
        form.fill("Di", "", "Moe", "D", false);
        command(IDC_SAVE);
        ASSERT_EQ(stub.messageBoxes.size(), 1u) << c.name;
        EXPECT_EQ(stub.messageBoxes[0].text, c.text) << c.name;
        EXPECT_EQ(stub.messageBoxes[0].type, MB_OK | MB_ICONINFORMATION) << c.name;
        EXPECT_EQ(entryList->rows, c.rows) << c.name;
    }
}

TEST_F(CommandsTest, ClosingWritesWhatIsOnlyInMemoryOrAsksBeforeLosingIt) {
    startWithThree();
    makeReadOnly(kCardFileName);
    entryList->selection = 0;
    answer(IDNO);
    command(IDC_REMOVE);
    ASSERT_EQ(stub.messageBoxes.size(), 2u);
    EXPECT_EQ(stub.messageBoxes[1].text,
              "\"test.txt\" could not be rewritten. Nothing had changed, and the card file is as "
              "it was.");
    EXPECT_TRUE(mayCloseWindow(form.mainWindow));  // nothing to lose: no question

    form.fill("Di", "", "Moe", "D", false);
    command(IDC_SAVE);
    for (int reply : {IDNO, IDYES}) {
        answer(reply);
        EXPECT_EQ(mayCloseWindow(form.mainWindow), reply == IDYES);
    }
    ASSERT_EQ(stub.messageBoxes.size(), 5u);
    const winstub::MessageBoxCall& question = stub.messageBoxes[3];
    EXPECT_EQ(question.text,
              "Some changes could not be written to \"test.txt\" and exist only in memory. Close "
              "anyway and lose them?");
    EXPECT_EQ(question.type, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2);
    EXPECT_EQ(question.owner, form.mainWindow);

    // Another program adds an entry; the close still fails, and the window that stays
    // open lists what was read in.
    namespace fsys = std::filesystem;
    fsys::permissions(kCardFileName, fsys::perms::owner_write, fsys::perm_options::add);
    writeBytes(kCardFileName, cardFileBytes() + "Eve" + FE + FE + "Yu" + FE + FE + "F" + FD);
    makeReadOnly(kCardFileName);
    answer(IDNO);
    EXPECT_FALSE(mayCloseWindow(form.mainWindow));
    EXPECT_EQ(entryList->rows, (std::vector<std::string>{"Abe , Al", "Lee , Ann", "Moe , Di",
                                                         "Yu , Eve", "Zed , Bo"}));

    fsys::permissions(kCardFileName, fsys::perms::owner_write, fsys::perm_options::add);
    EXPECT_TRUE(mayCloseWindow(form.mainWindow));
    EXPECT_EQ(stub.messageBoxes.size(), 6u);
    EXPECT_NE(cardFileBytes().find("Moe"), std::string::npos);
}

TEST_F(CommandsTest, ACardFileThatWasNotLoadedIsReportedOnce) {
    const struct {
        LoadProblem problem;
        const char* text;
    } cases[] = {
        {LoadProblem::unreadable,
         "The card file \"test.txt\" exists but could not be read, so the list is empty. Nothing "
         "will be written over it: the next save reads it first."},
        {LoadProblem::tooLarge,
         "The card file \"test.txt\" is too large for this program's memory and was not loaded. "
         "Nothing will be written over it."},
    };
    for (const auto& c : cases) {
        stub.messageBoxes.clear();
        reportLoadProblem(form.mainWindow, c.problem);
        ASSERT_EQ(stub.messageBoxes.size(), 1u);
        EXPECT_EQ(stub.messageBoxes[0].text, c.text);
        EXPECT_EQ(stub.messageBoxes[0].type, MB_OK | MB_ICONERROR);
    }
    stub.messageBoxes.clear();
    reportLoadProblem(form.mainWindow, LoadProblem::none);
    EXPECT_TRUE(stub.messageBoxes.empty());
}

TEST_F(CommandsTest, RandomCommandsLeaveTheRowsOfAFullRebuild) {
    std::mt19937 random(20261208);
    auto pick = [&](std::vector<std::string> options) {
        return options[random() % options.size()];
    };
    auto rebuilt = [] {
        std::vector<std::string> rows;
        for (const Entry& e : entries) rows.push_back(e.lastName + " , " + e.firstName);
        return rows;
    };
    int writesByAnother = 0;
    for (int step = 0; step < 600; ++step) {
        // Few names, so that saves update existing entries as often as they add new ones.
        form.fill(pick({"Al", "Bo", "Cy"}), pick({"", "M"}), pick({"Abe", "Lee", "Zed", ""}),
                  std::to_string(step), random() % 2);
        bool refreshes = true;
        switch (random() % 6) {
            case 0:
            case 1:
                command(IDC_SAVE);
                break;
            case 2:
            case 3: {
                auto rows = static_cast<LRESULT>(entryList->rows.size());
                entryList->selection = rows > 0 && random() % 4 ? random() % rows : LB_ERR;
                refreshes = entryList->selection != LB_ERR;
                if (refreshes) answer(random() % 2 ? IDYES : IDNO);
                command(IDC_REMOVE);
                break;
            }
            case 4:
                refreshes = random() % 2;
                answer(refreshes ? IDYES : IDNO);
                command(IDC_NEW);
                break;
            default:  // another program adds an entry; the next write reads it in
                refreshes = false;
                ++writesByAnother;
                writeBytes(kCardFileName, cardFileBytes() + "Di" + FE + FE + "Moe" +
                                              std::to_string(step) + FE + FE + "F" + FD);
                break;
        }
        ASSERT_EQ(entryList->rows, rebuilt()) << "after step " << step;
        if (refreshes) {
            ASSERT_EQ(entryList->selection, LB_ERR) << "after step " << step;
            ASSERT_EQ(cardFileBytes(), encodeCardFile(entries)) << "after step " << step;
        }
    }
    // Rows were inserted and deleted one by one; the list was refilled only after
    // another program's changes.
    std::map<std::string, int> listCalls;
    for (const std::string& line : stub.log)
        if (line.rfind("list ", 0) == 0) ++listCalls[line.substr(5, line.find(' ', 5) - 5)];
    EXPECT_GT(listCalls["insert"], 20);
    EXPECT_GT(listCalls["delete"], 20);
    EXPECT_LE(listCalls["reset"], writesByAnother);
}
