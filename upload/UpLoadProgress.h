#pragma once

#include <QDialog>

namespace tovari {

// The progress dialog of an upload.
class TForm2 : public QDialog {
    Q_OBJECT
public:
    explicit TForm2(QWidget* parent = nullptr);
};

}  // namespace tovari
