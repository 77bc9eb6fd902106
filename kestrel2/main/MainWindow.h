#pragma once
// The main window: the hub from which every other window is reached. Its first
// activation offers the connection set-up; closing it ends the program.
#include <QMainWindow>

class QAction;
class QLabel;

namespace kestrel2 {

class FrmMain : public QMainWindow {
    Q_OBJECT
public:
    explicit FrmMain(QWidget* parent = nullptr);

    QLabel* Label3() const { return titleLabel; }
    QLabel* Label2() const { return subtitleLabel; }
    QLabel* Image1() const { return firstPicture; }
    QLabel* Image2() const { return secondPicture; }
    QAction* menuAction(const QString& objectName) const;

    // The window became active; only the first time in a run does anything.
    void Form_Activate();
    bool connectionQuestionAsked() const { return activatedOnce; }

    void mnuConnectionscreen_Click();   // the connection window, modal
    void mnuAbout_Click();              // the about window, modal
    void mnuHelp_Click();               // two plain messages
    void mnuExit_Click();               // asks, then closes this window

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void OfferConnectionSetup();

    bool activatedOnce = false;
    QLabel* titleLabel = nullptr;
    QLabel* subtitleLabel = nullptr;
    QLabel* firstPicture = nullptr;
    QLabel* secondPicture = nullptr;
};

} // namespace kestrel2
