// The service reply readers: lines, fields, integers, folder list, photo list, on replies decoded
// from CP932 as the client decodes them.
#include "platform/Cp932.h"
#include "service/ServiceProtocol.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString reply = tovari::FromCp932(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    for (const QString& line : tovari::SplitReplyLines(reply))
        (void)tovari::SplitReplyFields(line);
    (void)tovari::FirstReplyLine(reply);
    (void)tovari::ParseReplyInteger(reply);
    (void)tovari::IsUsableSessionId(tovari::StripTrailingLineBreaks(reply));
    (void)tovari::ReadFolderList(reply);
    (void)tovari::ReadPhotoList(reply);
    return 0;
}
