#include "upload/UploadCommand.h"

#include "platform/Commands.h"
#include "service/Session.h"

#include <QAction>

namespace tovari {

TUploadCommand::TUploadCommand(TSession& session, QObject* parent) : QObject(parent), session_(session)
{
    connect(&session_, &TSession::Changed, this, &TUploadCommand::UpdateActions);
}

void TUploadCommand::BindActions(const TActionManager1& actions)
{
    actFileUpLoad_ = actions.ActFileUpLoad;
    actFileUp_ = actions.ActFileUp;
    UpdateActions();
}

void TUploadCommand::SetUploadableCount(int count)
{
    uploadableCount_ = count;
    UpdateActions();
}

void TUploadCommand::UpdateActions()
{
    if (!actFileUp_)
        return;
    const bool loggedIn = session_.LoggedIn();
    actFileUpLoad_->setText(loggedIn ? QStringLiteral("画像をアルバムに登録") : QStringLiteral("画像をプリントに追加"));
    actFileUp_->setText(loggedIn ? QStringLiteral("アルバムに登録") : QStringLiteral("プリントに追加"));
    actFileUp_->setEnabled(uploadableCount_ > 0);
}

}  // namespace tovari
