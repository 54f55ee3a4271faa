#pragma once

// The words and signs a user of each system knows: Windows' separator and its
// %USERPROFILE%\_netrc, or the POSIX ones, for messages, help texts and examples.
namespace conventions {

#ifdef _WIN32
constexpr char kPathSeparator = '\\';
constexpr const char* kNetrc = "%USERPROFILE%\\_netrc";
constexpr const char* kNetrcName = "_netrc";
constexpr const char* kCardFileExample = "\"D:\\Address book\\test.txt\"";
// Text files that are not UTF-8 are in the ANSI code page, as Windows programs save them.
constexpr bool kTextInAnsiCodePage = true;
#else
constexpr char kPathSeparator = '/';
constexpr const char* kNetrc = "~/.netrc";
constexpr const char* kNetrcName = ".netrc";
constexpr const char* kCardFileExample = "~/book/test.txt";
constexpr bool kTextInAnsiCodePage = false;
#endif

}  // namespace conventions
