#pragma once

#include <string>

// What a sync needs of the user's session: where the user keeps passwords for
// servers, and a question on the terminal whose answer is not shown.
namespace user {

// ~/.netrc, or %USERPROFILE%\_netrc on Windows; empty when there is no home folder.
std::string netrcPath();

// Asks on the terminal without echoing the answer. False, asking nothing, when
// standard input is not a terminal.
bool askHidden(const std::string& prompt, std::string& answer);

}  // namespace user
