#pragma once
// The component's about box.
#include <QDialog>

class QLabel;
class QPushButton;

namespace buslink {

class dlgAbout : public QDialog {
    Q_OBJECT
public:
    explicit dlgAbout(QWidget* parent = nullptr);

    // The component's title, shown in the caption.
    static QString ComponentTitle();
    // "major.minor.revision" of this build.
    static QString VersionText();

    QLabel* picIcon = nullptr;
    QLabel* lblVersion = nullptr;
    QPushButton* Command1 = nullptr;
};

} // namespace buslink
