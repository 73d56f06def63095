#pragma once

class QLabel;
class QProgressBar;
class QStatusBar;

namespace tovari {

// The main window's status bar as the loaders and the selection count use it; the shell owns the widgets.
struct TStatusLine {
    QStatusBar& StatusBar1;
    QLabel& StatusPanel0;
    QProgressBar& Gauge1;
};

// Puts the progress gauge into the status bar at its designed place, at 0, visible.
void ShowGaugeInStatusBar(QProgressBar& gauge, QStatusBar& statusBar);
// Sets the gauge to trunc(k / ((n - 1) / 100)) for item k of n; left alone for a single item.
void SetGaugeProgress(QProgressBar& gauge, long long k, long long n);

}  // namespace tovari
