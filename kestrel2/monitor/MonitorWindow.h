#pragma once
// Placeholder window until it lands.
#include <QMainWindow>

namespace kestrel2 {

class FrmKXgroup : public QMainWindow {
    Q_OBJECT
public:
    explicit FrmKXgroup(QWidget* parent = nullptr);
};

} // namespace kestrel2
