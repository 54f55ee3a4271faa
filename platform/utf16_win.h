#pragma once

#include <string>

// UTF-8 to and from the UTF-16 that Windows' wide-character calls take, for the
// seams that speak to them (WinHTTP, XmlLite).
std::wstring utf16Of(const std::string& utf8);
std::string utf8Of(const wchar_t* text, size_t size);
