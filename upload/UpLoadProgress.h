#pragma once

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

namespace tovari {

class Dialogs;

// Asks "転送を中断しますか？" in a box owned by owner; true on OK.
bool AskToStopTransfer(Dialogs& dialogs, QWidget* owner);

// The progress dialog of an upload: how far the batch has got, and a button that asks it to stop.
// It has no close box and ignores Esc; only the batch hides it.
class TForm2 : public QDialog {
    Q_OBJECT
public:
    explicit TForm2(Dialogs& dialogs, QWidget* parent = nullptr);

    // The gauge at percent, the label "<total>個中 <current>個目を転送中...".
    void SetProgress(int percent, int total, int current);
    // Asks whether to stop; on OK the batch is told through UploadCancelRequested.
    void CancelButtonClick();

    QProgressBar* Gauge1 = nullptr;
    QLabel* Label1 = nullptr;
    QPushButton* CancelButton = nullptr;

signals:
    // The user confirmed that the running batch should stop.
    void UploadCancelRequested(bool cancel);

public slots:
    void reject() override;

private:
    Dialogs& dialogs_;
};

}  // namespace tovari
