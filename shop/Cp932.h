#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tovari::shop {

// The wire speaks CP932; the shop keeps UTF-8 inside. Characters that CP932 lacks become '?'.
std::string ToCp932(std::string_view utf8);

// Nothing when the bytes are not valid CP932.
std::optional<std::string> FromCp932(std::string_view cp932);

}  // namespace tovari::shop
