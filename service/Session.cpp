#include "service/Session.h"

namespace tovari {

void TSession::SetSessionId(const QString& id)
{
    if (sessionId_ == id)
        return;
    sessionId_ = id;
    emit SessionIdChanged(id);
    emit Changed();
}

void TSession::SetLoggedIn(bool loggedIn)
{
    loggedIn_ = loggedIn;
    emit LoggedInChanged(loggedIn);
    emit Changed();
}

void TSession::SetUserName(const QString& userName)
{
    if (userName_ == userName)
        return;
    userName_ = userName;
    emit UserNameChanged(userName);
    emit Changed();
}

void TSession::SetTransferReady(bool ready)
{
    if (transferReady_ == ready)
        return;
    transferReady_ = ready;
    emit TransferReadyChanged(ready);
    emit Changed();
}

}  // namespace tovari
