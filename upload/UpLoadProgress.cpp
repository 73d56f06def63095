#include "upload/UpLoadProgress.h"

namespace tovari {

TForm2::TForm2(QWidget* parent) : QDialog(parent) {}

}  // namespace tovari
