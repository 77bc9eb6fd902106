#pragma once
// Placeholder window until it lands.
#include <QMainWindow>

namespace kestrel2 {

class FrmKXConfig : public QMainWindow {
    Q_OBJECT
public:
    explicit FrmKXConfig(QWidget* parent = nullptr);
};

} // namespace kestrel2
