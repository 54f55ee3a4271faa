#include "form/form_binding.h"

#include <gtest/gtest.h>

#include "data/program_globals.h"
#include "platform/winstub.h"
#include "tests/support/stub_form.h"

namespace {

class FormBindingTest : public ::testing::Test {
  protected:
    StubForm form;
};

TEST_F(FormBindingTest, ReadFieldReturnsWholeTextWithLineBreaks) {
    const std::string texts[] = {"", "Ann", "1 Road\r\nTown\r\n", std::string(5000, 'x') + "\xE9"};
    for (const std::string& text : texts) {
        form.typeInto(addressField, text);
        EXPECT_EQ(readField(addressField), text);
    }
}

TEST_F(FormBindingTest, ReadSexCountsOnlyTheCheckedBit) {
    struct Case {
        WPARAM state;
        const char* expected;
    };
    const Case cases[] = {
        {BST_UNCHECKED, "Female"},
        {BST_CHECKED, "Male"},
        {BST_FOCUS, "Female"},
        {BST_PUSHED | BST_FOCUS, "Female"},
        {BST_CHECKED | BST_FOCUS, "Male"},
    };
    for (const Case& c : cases) {
        maleButton->state = c.state;
        EXPECT_EQ(readSex(), c.expected) << c.state;
    }
}

TEST_F(FormBindingTest, ShowEntrySetsFieldsAndExactlyOneButton) {
    struct Case {
        const char* sex;
        bool male;
    };
    const Case cases[] = {{"Male", true}, {"Female", false}, {"male", false}, {"", false}};
    for (const Case& c : cases) {
        entries.clear();
        entries.push_back(person("Ann", "M", "Lee", "1 Road\r\nTown", c.sex));
        winstub::state().log.clear();
        showEntry(0);
        EXPECT_EQ(form.fieldTexts(),
                  (std::vector<std::string>{"Ann", "M", "Lee", "1 Road\r\nTown"}));
        EXPECT_EQ(maleButton->state, c.male ? BST_CHECKED : BST_UNCHECKED) << c.sex;
        EXPECT_EQ(femaleButton->state, c.male ? BST_UNCHECKED : BST_CHECKED) << c.sex;
        const std::string checked = c.male ? "male checked" : "female checked";
        const std::string unchecked = c.male ? "female unchecked" : "male unchecked";
        EXPECT_EQ(winstub::state().log,
                  (std::vector<std::string>{"first text Ann", "last text Lee", "middle text M",
                                            "address text 1 Road\r\nTown", checked, unchecked}));
        EXPECT_EQ(readField(addressField), "1 Road\r\nTown");
    }
}

TEST_F(FormBindingTest, ShowEntryOutsideTheCollectionDoesNothing) {
    entries.push_back(person("Ann", "", "Lee"));
    for (int index : {-1, 1, 1000}) {
        showEntry(index);
        EXPECT_EQ(form.fieldTexts(),
                  (std::vector<std::string>{"First Name", "Middle Name", "Last Name", "Address"}));
    }
}

TEST_F(FormBindingTest, ClearFormEmptiesFieldsAndUnchecksBoth) {
    form.fill("Ann", "M", "Lee", "A", true);
    clearForm();
    EXPECT_EQ(form.fieldTexts(), (std::vector<std::string>{"", "", "", ""}));
    EXPECT_EQ(maleButton->state, BST_UNCHECKED);
    EXPECT_EQ(femaleButton->state, BST_UNCHECKED);
    EXPECT_EQ(readSex(), "Female");
}

TEST_F(FormBindingTest, RefreshListShowsNormalisedEntriesAndDropsSelection) {
    entries.push_back(person("Bo", "", "Zed"));
    entries.push_back(person("Ann", "X", "Lee"));
    entries.push_back(person("", "", ""));
    entries.push_back(person("Bo", "", "Zed", "new"));
    refreshList();
    selectListRow(1);
    ASSERT_EQ(listSelection(), 1);
    form.fill("keep", "", "", "", false);
    refreshList();
    EXPECT_EQ(entryList->rows, (std::vector<std::string>{" , ", "Lee , Ann", "Zed , Bo"}));
    EXPECT_EQ(listSelection(), -1);
    EXPECT_TRUE(entryList->redraw);
    EXPECT_EQ(firstNameField->text, "keep");
    EXPECT_EQ(entryAt(2).address, "new");

    entries.clear();
    refreshList();
    EXPECT_TRUE(entryList->rows.empty());
}

}  // namespace
