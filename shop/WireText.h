#pragma once

#include "platform/Cp932.h"

#include <optional>
#include <string>
#include <string_view>

namespace tovari::shop {

// The shop keeps UTF-8 inside; the protocol's text is CP932. Characters CP932 lacks become '?'.
inline std::string ToCp932(std::string_view utf8)
{
    return tovari::ToCp932(QString::fromUtf8(utf8.data(), qsizetype(utf8.size()))).toStdString();
}

// Nothing when the bytes are not valid CP932.
inline std::optional<std::string> FromCp932(std::string_view cp932)
{
    const auto text = tovari::FromCp932Strict(QByteArray(cp932.data(), qsizetype(cp932.size())));
    if (!text)
        return std::nullopt;
    return text->toStdString();
}

}  // namespace tovari::shop
