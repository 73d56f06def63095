#include "platform/Shell.h"

#include <QDesktopServices>
#include <QDir>
#include <QStandardPaths>
#include <QUrl>

namespace tovari {

void UrlJump(const QString& url)
{
    QDesktopServices::openUrl(QUrl(url, QUrl::TolerantMode));
}

QStringList DataRootCandidates()
{
    return {QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation), QDir::homePath(),
            QStandardPaths::writableLocation(QStandardPaths::ApplicationsLocation)};
}

QString ChooseDataRoot(const QStringList& candidates)
{
    for (const QString& c : candidates)
        if (!c.isEmpty())
            return c;
    return QString();
}

}  // namespace tovari
