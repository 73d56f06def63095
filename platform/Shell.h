#pragma once

#include <QString>
#include <QStringList>

namespace tovari {

// Hands a URL to the desktop's default handler; failures are not reported.
void UrlJump(const QString& url);

// Candidates for the per-user data root, most wanted first: the application-data folder, the home
// folder, then the start-menu programs folder. An entry is empty where the desktop gives no such folder.
QStringList DataRootCandidates();

// The first non-empty candidate; empty when there is none.
QString ChooseDataRoot(const QStringList& candidates);

}  // namespace tovari
