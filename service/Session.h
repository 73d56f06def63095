#pragma once

#include <QObject>
#include <QString>

namespace tovari {

// The session shared by every part of the window: who is logged in and what the service issued.
// Each setter announces a real change, so listeners can derive their state from the signals. Logging in
// or out always re-enters its state, so that is announced even when the state stays the same.
class TSession : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    const QString& SessionId() const { return sessionId_; }
    bool LoggedIn() const { return loggedIn_; }
    const QString& UserName() const { return userName_; }
    // False while no identifier could be had from the service: uploads are refused then.
    bool TransferReady() const { return transferReady_; }

    void SetSessionId(const QString& id);
    void SetLoggedIn(bool loggedIn);
    void SetUserName(const QString& userName);
    void SetTransferReady(bool ready);

signals:
    void SessionIdChanged(const QString& id);
    void LoggedInChanged(bool loggedIn);
    void UserNameChanged(const QString& userName);
    void TransferReadyChanged(bool ready);
    // After any of the above.
    void Changed();

private:
    QString sessionId_;
    bool loggedIn_ = false;
    QString userName_;
    bool transferReady_ = false;
};

}  // namespace tovari
