// Where the tool's windows open: wholly on the screen of the window they are
// opened from, centred on it when there is room. Runs on two 1280x1024
// offscreen screens side by side, with window frames.
#include "config/ConfigurationWindow.h"
#include "link/ConnectionWindow.h"
#include "main/DialogService.h"
#include "main/MainWindow.h"
#include "main/ToolWindows.h"
#include "main/WindowPlacement.h"
#include "monitor/MonitorWindow.h"
#include "monitor/TorqueProfileWindow.h"

#include <QApplication>
#include <QScreen>
#include <QTemporaryDir>
#include <QtTest>

using namespace kestrel2;

namespace {
QScreen* screenNamed(const QString& name)
{
    for (QScreen* screen : QGuiApplication::screens())
        if (screen->name() == name) return screen;
    return nullptr;
}

// True when the window's frame lies wholly on the screen and, where that left
// room, is centred on the parent's frame.
void checkPlaced(const QWidget& window, const QWidget& parent, QScreen* screen, bool centred)
{
    const QRect frame = window.frameGeometry();
    QVERIFY2(screen->availableGeometry().contains(frame),
             qPrintable(QString("%1 at %2,%3 %4x%5").arg(window.objectName()).arg(frame.x()).arg(frame.y())
                            .arg(frame.width()).arg(frame.height())));
    if (centred) QVERIFY((frame.center() - parent.frameGeometry().center()).manhattanLength() <= 2);
}
} // namespace

class TestWindowPlacement : public QObject {
    Q_OBJECT
private slots:
    void placeWindow_data();
    void placeWindow();
    void toolWindowsOpenOnTheScreenOfTheirParent();
};

void TestWindowPlacement::placeWindow_data()
{
    QTest::addColumn<QSize>("frame");
    QTest::addColumn<QRect>("parent");
    QTest::addColumn<QRect>("placed");
    QTest::newRow("centred on the parent") << QSize(400, 300) << QRect(100, 100, 800, 600) << QRect(300, 250, 400, 300);
    QTest::newRow("parent near the bottom: moved up")
        << QSize(760, 700) << QRect(300, 700, 600, 300) << QRect(220, 324, 760, 700);
    QTest::newRow("parent off the left edge") << QSize(500, 400) << QRect(-400, 200, 300, 300) << QRect(0, 150, 500, 400);
    QTest::newRow("taller than the screen: shrunk") << QSize(700, 1200) << QRect(0, 0, 1280, 1024)
                                                    << QRect(290, 0, 700, 1024);
}

void TestWindowPlacement::placeWindow()
{
    QFETCH(QSize, frame);
    QFETCH(QRect, parent);
    QFETCH(QRect, placed);
    QCOMPARE(PlaceWindow(frame, parent, QRect(0, 0, 1280, 1024)), placed);
    // The same on a second screen to the right.
    QCOMPARE(PlaceWindow(frame, parent.translated(1280, 0), QRect(1280, 0, 1280, 1024)), placed.translated(1280, 0));
}

void TestWindowPlacement::toolWindowsOpenOnTheScreenOfTheirParent()
{
    QScreen* right = screenNamed("right");
    QVERIFY(right);
    DialogService& dialogs = DialogService::instance();
    dialogs.setScripted(true);
    dialogs.responder = [](const MessageRecord& m) {
        return m.buttons == DialogButtons::YesNo ? DialogAnswer::No : DialogAnswer::Ok;
    };

    // The main window low on the right-hand screen, as a user may have left it.
    FrmMain main;
    SetMainWindow(&main);
    main.resize(640, 480);
    main.move(1280 + 600, 500);
    main.show();
    main.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&main));
    QCOMPARE(main.screen(), right);

    FrmKXConfig& config = ShowConfigurationWindow();
    QVERIFY(QTest::qWaitForWindowExposed(&config));
    checkPlaced(config, main, right, false);
    config.close();

    main.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&main));
    FrmConnection& connection = ConnectionWindow();
    connection.show();
    QVERIFY(QTest::qWaitForWindowExposed(&connection));
    checkPlaced(connection, main, right, true);
    connection.hide();

    // The torque profile opens from the monitor window, on its screen: wholly on it, though tall.
    main.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&main));
    FrmKXgroup& monitor = ShowMonitorWindow();
    QVERIFY(QTest::qWaitForWindowExposed(&monitor));
    checkPlaced(monitor, main, right, false);
    FrmChart& chart = ShowTorqueProfileWindow();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    checkPlaced(chart, monitor, right, false);
    CloseToolWindows();
    SetMainWindow(nullptr);
    CloseConnectionWindow();
}

int main(int argc, char* argv[])
{
    // Two screens side by side, with window frames, before the application starts.
    QTemporaryDir dir;
    QFile config(dir.filePath("screens.json"));
    if (!config.open(QIODevice::WriteOnly)) return 1;
    config.write(R"({ "windowFrameMargins": true, "screens": [
        {"name": "left", "x": 0, "y": 0, "width": 1280, "height": 1024, "logicalDpi": 96},
        {"name": "right", "x": 1280, "y": 0, "width": 1280, "height": 1024, "logicalDpi": 96} ] })");
    config.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(config.fileName()));
    QApplication app(argc, argv);
    QApplication::setApplicationName("kestrel2");
    QApplication::setQuitOnLastWindowClosed(false);
    TestWindowPlacement test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_window_placement.moc"
