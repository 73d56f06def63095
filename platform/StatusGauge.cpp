#include "platform/StatusGauge.h"

#include <QProgressBar>
#include <QStatusBar>
#include <cmath>

namespace tovari {

void ShowGaugeInStatusBar(QProgressBar& gauge, QStatusBar& statusBar)
{
    if (gauge.parentWidget() != &statusBar)
        gauge.setParent(&statusBar);
    const int clientHeight = statusBar.contentsRect().height();
    const int height = clientHeight - 4;
    const int top = (clientHeight - height) / 2 + 1;
    gauge.setGeometry(100, top, 169, height);
    gauge.setValue(0);
    gauge.show();
    gauge.raise();
}

void SetGaugeProgress(QProgressBar& gauge, long long k, long long n)
{
    if (n <= 1)
        return;
    const double step = double(n - 1) / 100.0;
    const int value = int(std::trunc(double(k) / step));
    if (gauge.value() != value)
        gauge.setValue(value);
}

}  // namespace tovari
