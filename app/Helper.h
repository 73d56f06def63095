#pragma once

#include <QWidget>

namespace tovari {

// The navigation window: an always-on-top guide through the four steps of an order.
class TForm3 : public QWidget {
    Q_OBJECT
public:
    explicit TForm3(QWidget* parent = nullptr);

    // Advances the guide to page n; never moves it back.
    void SetPage(int n);
    int CurrentPage = 0;
};

}  // namespace tovari
