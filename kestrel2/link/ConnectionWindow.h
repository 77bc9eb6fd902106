#pragma once
// Placeholder: the connection window, owner of Buslink1.
#include "shell/Buslink.h"

#include <QDialog>

namespace kestrel2 {

class FrmConnection : public QDialog {
    Q_OBJECT
public:
    explicit FrmConnection(QWidget* parent = nullptr);
    buslink::Buslink& Buslink1() { return *component; }

private:
    buslink::Buslink* component;
};

} // namespace kestrel2
