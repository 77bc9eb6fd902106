#pragma once
// Placeholder window until it lands.
#include <QMainWindow>

namespace kestrel2 {

class FrmMain : public QMainWindow {
    Q_OBJECT
public:
    explicit FrmMain(QWidget* parent = nullptr);
};

} // namespace kestrel2
