#include "tests/support/stub_form.h"

#include "data/card_file.h"
#include "data/program_globals.h"
#include "platform/files.h"
#include "platform/winstub.h"

StubForm::StubForm() {
    winstub::reset();
    entries.clear();
    scratchEntry = Entry();
    mainWindow = winstub::createWindow("main", "Quillborough");
    firstNameField = winstub::createWindow("first", "First Name");
    middleNameField = winstub::createWindow("middle", "Middle Name");
    lastNameField = winstub::createWindow("last", "Last Name");
    addressField = winstub::createWindow("address", "Address");
    maleButton = winstub::createWindow("male", "Male");
    femaleButton = winstub::createWindow("female", "Female");
    cityComboBox = winstub::createWindow("city");
    entryList = winstub::createWindow("list");
    cardFile = CardFile(kCardFileName, files::realFileSystem());  // not read yet, as at start-up
}

StubForm::~StubForm() {
    entries.clear();
    firstNameField = middleNameField = lastNameField = addressField = nullptr;
    maleButton = femaleButton = cityComboBox = entryList = nullptr;
    winstub::reset();
}

std::vector<std::string> StubForm::fieldTexts() const {
    return {firstNameField->text, middleNameField->text, lastNameField->text, addressField->text};
}

void StubForm::fill(const std::string& first, const std::string& middle, const std::string& last,
                    const std::string& address, bool male) {
    firstNameField->text = first;
    middleNameField->text = middle;
    lastNameField->text = last;
    addressField->text = address;
    maleButton->state = male ? BST_CHECKED : BST_UNCHECKED;
    femaleButton->state = male ? BST_UNCHECKED : BST_CHECKED;
}

Entry person(const std::string& first, const std::string& middle, const std::string& last,
             const std::string& address, const std::string& sex) {
    return Entry{first, last, middle, address, sex};
}
