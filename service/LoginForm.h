#pragma once

#include <QDialog>
#include <QPixmap>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tovari {

// The album member's login dialog. Its edit boxes are emptied once, when the dialog is made, so a
// dialog shown again after a refused login still holds what was typed.
class TLoginDialog : public QDialog {
    Q_OBJECT
public:
    explicit TLoginDialog(QWidget* parent = nullptr);

    QFrame* Panel1;
    QLabel* Image1;
    QLabel* Label1;
    QLabel* StaticText1;
    QLabel* Label3;
    QLineEdit* EditEmail;
    QLabel* Label4;
    QLineEdit* EditPasswd;
    QPushButton* OKBtn;
    QPushButton* CancelBtn;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormCreate();
    void CentreOnScreen();
};

// The 106 x 25 picture at the left of the dialog's header.
QPixmap LoginHeaderPicture();

}  // namespace tovari
