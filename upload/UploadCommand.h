#pragma once

#include <QObject>

class QAction;

namespace tovari {

class TSession;
struct TActionManager1;

// The command that sends the selected local photos: its state and the two actions that start it.
class TUploadCommand : public QObject {
    Q_OBJECT
public:
    explicit TUploadCommand(TSession& session, QObject* parent = nullptr);

    void BindActions(const TActionManager1& actions);
    // Captions follow the login state (print order or album); ActFileUp needs something to send.
    void UpdateActions();

    // The count of selected photos that can be sent, as the local list last reported it.
    void SetUploadableCount(int count);

    bool Uploading = false;

private:
    TSession& session_;
    int uploadableCount_ = 0;
    QAction* actFileUpLoad_ = nullptr;
    QAction* actFileUp_ = nullptr;
};

}  // namespace tovari
