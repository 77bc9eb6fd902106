#pragma once
// Placeholder window until it lands.
#include <QMainWindow>

namespace kestrel2 {

class FrmChart : public QMainWindow {
    Q_OBJECT
public:
    explicit FrmChart(QWidget* parent = nullptr);
};

} // namespace kestrel2
