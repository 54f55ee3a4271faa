#pragma once

#include <string>

#include "platform/http.h"

// The text of HTTP messages that a client composes or reads itself: header lines
// and Basic credentials. Plain C++, shared by the system clients.
namespace http {

// "Name: value" -> {Name, value}, the value without the blanks around it; false for
// a line without a colon (a status line, the blank line at the end).
bool readHeaderLine(const std::string& line, Headers::value_type& field);

// The fields of a block of header lines ended by CR LF.
Headers readHeaderBlock(const std::string& text);

// Header fields as lines, each ended by CR LF.
std::string headerLines(const Headers& headers);

// The value of an Authorization header for Basic authentication (RFC 7617).
std::string basicAuthorization(const std::string& user, const std::string& password);

std::string base64(const std::string& bytes);

}  // namespace http
