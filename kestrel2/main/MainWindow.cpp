#include "MainWindow.h"

#include "link/ConnectionWindow.h"
#include "main/AboutWindow.h"
#include "main/DialogService.h"
#include "main/HelpWindow.h"
#include "main/Pictures.h"
#include "main/ToolWindows.h"
#include "main/WindowPlacement.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QVBoxLayout>
#include <exception>

namespace kestrel2 {

namespace {
const QString LineBreak = QStringLiteral("\r\n");

QFont arial(int pointSize, bool bold)
{
    QFont font(QStringLiteral("Arial"), pointSize);
    font.setStyleHint(QFont::SansSerif);
    font.setBold(bold);
    return font;
}

QLabel* pictureLabel(const QString& name, const QPixmap& picture, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setPixmap(picture);
    label->setAlignment(Qt::AlignCenter);
    label->setMinimumSize(picture.size());
    return label;
}
} // namespace

FrmMain::FrmMain(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("FrmMain"));
    setWindowTitle(QStringLiteral("Corvane Kestrel II"));
    setWindowIcon(QIcon(ActuatorPicture(QSize(64, 64))));

    struct MenuEntry {
        const char* name;
        const char* caption;
        void (FrmMain::*handler)();
    };
    const MenuEntry entries[] = {
        {"mnuConfigureActuator", "&Configure actuator", nullptr},
        {"mnuControl", "&Monitor and control actuator", nullptr},
        {"mnuConnectionscreen", "C&onnection", &FrmMain::mnuConnectionscreen_Click},
        {"mnuAbout", "&About", &FrmMain::mnuAbout_Click},
        {"mnuHelp", "&Help", &FrmMain::mnuHelp_Click},
        {"mnuExit", "&Exit", &FrmMain::mnuExit_Click},
    };
    for (const MenuEntry& entry : entries) {
        QAction* action = menuBar()->addAction(QString::fromLatin1(entry.caption));
        action->setObjectName(QString::fromLatin1(entry.name));
        if (entry.handler) connect(action, &QAction::triggered, this, [this, h = entry.handler] { (this->*h)(); });
    }
    connect(menuAction(QStringLiteral("mnuConfigureActuator")), &QAction::triggered, this,
            [] { ShowConfigurationWindow(); });
    connect(menuAction(QStringLiteral("mnuControl")), &QAction::triggered, this, [] { ShowMonitorWindow(); });

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(24, 18, 24, 24);
    layout->setSpacing(10);
    titleLabel = new QLabel(QStringLiteral("Kestrel II"), central);
    titleLabel->setObjectName(QStringLiteral("Label3"));
    titleLabel->setFont(arial(28, true));
    titleLabel->setAlignment(Qt::AlignCenter);
    subtitleLabel = new QLabel(QStringLiteral("Modbus configuration utility for Corvane actuators"), central);
    subtitleLabel->setObjectName(QStringLiteral("Label2"));
    subtitleLabel->setFont(arial(13, false));
    subtitleLabel->setAlignment(Qt::AlignCenter);
    subtitleLabel->setWordWrap(true);

    firstPicture = pictureLabel(QStringLiteral("Image1"), ActuatorPicture(QSize(220, 220)), central);
    secondPicture = pictureLabel(QStringLiteral("Image2"), LinkPicture(QSize(300, 220)), central);
    auto* pictures = new QHBoxLayout;
    pictures->setSpacing(24);
    pictures->addStretch(1);
    pictures->addWidget(firstPicture);
    pictures->addWidget(secondPicture);
    pictures->addStretch(1);

    layout->addWidget(titleLabel);
    layout->addWidget(subtitleLabel);
    layout->addSpacing(8);
    layout->addLayout(pictures, 1);
    setCentralWidget(central);
}

QAction* FrmMain::menuAction(const QString& objectName) const
{
    return menuBar()->findChild<QAction*>(objectName);
}

bool FrmMain::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate) Form_Activate();
    return QMainWindow::event(event);
}

void FrmMain::Form_Activate()
{
    if (activatedOnce) return;
    activatedOnce = true;
    // Asked once the activation has been handled, not from inside it.
    QMetaObject::invokeMethod(this, [this] { OfferConnectionSetup(); }, Qt::QueuedConnection);
}

void FrmMain::OfferConnectionSetup()
{
    const QString question =
        QStringLiteral("If you are going to connect to an actuator you will need to select ") + LineBreak +
        QStringLiteral("CONNECTION from the tool bar and configure the communication parameters. ") + LineBreak +
        LineBreak + QStringLiteral(" Do you want to setup the communication parameters now? ");
    if (DialogService::instance().message(question, DialogButtons::YesNo) != DialogAnswer::Yes) return;
    FrmConnection& connection = ConnectionWindow();
    connection.show();
    connection.raise();
    connection.activateWindow();
}

void FrmMain::mnuConnectionscreen_Click()
{
    FrmConnection& connection = ConnectionWindow();
    // A window already shown beside this one becomes modal only when shown anew.
    if (connection.isVisible()) connection.hide();
    connection.exec();
}

void FrmMain::mnuAbout_Click()
{
    FrmAbout about(this);
    PlaceOnParentScreen(&about, this);
    about.exec();
}

void FrmMain::mnuHelp_Click()
{
    DialogService& dialogs = DialogService::instance();
    dialogs.message(QStringLiteral("Please Refer to the technical publications supplied on the CD with this software."));
    dialogs.message(QStringLiteral("If you do not have the CD") + LineBreak +
                    QStringLiteral("The technical publications can be downloaded from the Corvane web site at ") +
                    MakerWebSite());
}

void FrmMain::mnuExit_Click()
{
    if (DialogService::instance().message(QStringLiteral("Do you want to quit?"), DialogButtons::YesNo) ==
        DialogAnswer::Yes)
        close();
}

void FrmMain::closeEvent(QCloseEvent* event)
{
    if (ConnectionWindowExists()) {
        ConnectionWindow().ReleasePort();
        CloseConnectionWindow();
    }
    CloseToolWindows();
    event->accept();
    QCoreApplication::quit();
}

} // namespace kestrel2
