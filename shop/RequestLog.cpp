#include "shop/RequestLog.h"

namespace tovari::shop {

namespace {
constexpr std::size_t kShownSessionCharacters = 4;
}

std::string EscapeForLog(const std::string& text)
{
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F || b == '\\') {
            out += "\\x";
            out += kHex[b >> 4];
            out += kHex[b & 0xF];
        } else {
            out += c;
        }
    }
    return out;
}

std::string RequestLogLine(const std::string& method, const std::string& path, int status)
{
    std::string shown = path.substr(0, path.find('?'));
    // The segment after the script names the session: /wis/wi_login.php/<session>
    const std::size_t script = shown.find(".php/");
    if (script != std::string::npos) {
        const std::size_t start = script + 5;
        const std::size_t end = shown.find('/', start);
        const std::size_t length = (end == std::string::npos ? shown.size() : end) - start;
        if (length > kShownSessionCharacters)
            shown.replace(start, length, shown.substr(start, kShownSessionCharacters) + "...");
    }
    return EscapeForLog(method) + ' ' + EscapeForLog(shown) + ' ' + std::to_string(status);
}

}  // namespace tovari::shop
