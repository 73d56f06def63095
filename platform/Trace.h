#pragma once

#include <QLoggingCategory>

namespace tovari {

Q_DECLARE_LOGGING_CATEGORY(lcTrace)

// A short diagnostic phrase; silent unless the category is enabled (QT_LOGGING_RULES="tovari.trace=true").
void Trace(const char* text);

}  // namespace tovari
