#pragma once

#include <string>
#include <vector>

#include "data/entry.h"
#include "form/controls.h"
#include "tests/support/temp_folder.h"

// The form's controls played by the window-system stand-in, with their initial
// texts, inside a fresh folder and with an empty collection.
class StubForm {
  public:
    StubForm();
    ~StubForm();

    HWND mainWindow;
    TempFolder folder;

    // The four fields' texts in the order first, middle, last, address.
    std::vector<std::string> fieldTexts() const;
    void typeInto(HWND field, const std::string& text) { field->text = text; }
    void fill(const std::string& first, const std::string& middle, const std::string& last,
              const std::string& address, bool male);
};

Entry person(const std::string& first, const std::string& middle, const std::string& last,
             const std::string& address = "", const std::string& sex = "Female");
