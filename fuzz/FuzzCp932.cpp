// CP932 both ways: any bytes decode; what decodes strictly encodes to bytes that decode to the same
// text (not always the same bytes: CP932 gives some characters two codes, as the NEC-selected and the
// IBM extensions do, and the encoder picks one); any text (the input read as UTF-16) encodes without
// fault.
#include "platform/Cp932.h"
#include "service/ServiceProtocol.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    (void)tovari::FromCp932(bytes);
    if (const auto strict = tovari::FromCp932Strict(bytes); strict && tovari::FromCp932(tovari::ToCp932(*strict)) != *strict)
        __builtin_trap();
    const QString text(reinterpret_cast<const QChar*>(data), qsizetype(size / 2));
    (void)tovari::ToCp932(text);
    (void)tovari::PercentEncodeCp932(text);
    return 0;
}
