#pragma once

#include <QDialog>

namespace tovari {

// The album member's login dialog.
class TLoginDialog : public QDialog {
    Q_OBJECT
public:
    explicit TLoginDialog(QWidget* parent = nullptr);
};

}  // namespace tovari
