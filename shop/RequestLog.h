#pragma once

#include <string>

namespace tovari::shop {

// One line of the request log: method, path and status. The path is as the server decoded it, so
// control characters are escaped (\xNN) and cannot forge lines; a session identifier standing in
// it after the script name is cut to its first characters. Queries are never logged: one carries
// the password.
std::string RequestLogLine(const std::string& method, const std::string& path, int status);

// Any text for the log with its control characters escaped.
std::string EscapeForLog(const std::string& text);

}  // namespace tovari::shop
