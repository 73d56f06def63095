#include "platform/Trace.h"

namespace tovari {

Q_LOGGING_CATEGORY(lcTrace, "tovari.trace", QtWarningMsg)

void Trace(const char* text)
{
    qCDebug(lcTrace).noquote() << text;
}

}  // namespace tovari
