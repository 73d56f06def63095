#pragma once

class QWidget;

namespace tovari {

// Names that screen readers announce for the controls that show no caption of their own (lists, trees,
// tool bars, gauges, the status bar). Called once the window's controls are all made.
void NameMainWindowControls(QWidget& mainWindow);
void NameProgressDialogControls(QWidget& progressDialog);

}  // namespace tovari
