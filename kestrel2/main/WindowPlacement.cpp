#include "WindowPlacement.h"

#include "main/MainWindow.h"
#include "main/ToolWindows.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace kestrel2 {

namespace {
// Within [low, high - length], the start nearest `wanted`; `low` when it does not fit.
int Fit(int wanted, int length, int low, int high)
{
    return std::max(low, std::min(wanted, high - length));
}
} // namespace

QRect PlaceWindow(const QSize& frameSize, const QRect& parentFrame, const QRect& available)
{
    const QSize size = frameSize.boundedTo(available.size());
    const QPoint centred(parentFrame.x() + (parentFrame.width() - size.width()) / 2,
                         parentFrame.y() + (parentFrame.height() - size.height()) / 2);
    return QRect(QPoint(Fit(centred.x(), size.width(), available.left(), available.left() + available.width()),
                        Fit(centred.y(), size.height(), available.top(), available.top() + available.height())),
                 size);
}

void PlaceOnParentScreen(QWidget* window, const QWidget* parent)
{
    if (!parent || !parent->isVisible()) parent = nullptr;
    QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect available = screen->availableGeometry();
    if (!window->testAttribute(Qt::WA_Resized)) window->adjustSize();

    // The window system's decorations: as large as those of the parent, which is shown.
    QMargins frame;
    if (parent) {
        const QRect outer = parent->frameGeometry();
        const QRect inner = parent->geometry();
        frame = QMargins(inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
                         outer.bottom() - inner.bottom());
    }
    const QRect parentFrame = parent ? parent->frameGeometry() : available;
    QRect placed = PlaceWindow(window->size().grownBy(frame), parentFrame, available);
    const QSize client = placed.size().shrunkBy(frame);
    if (client != window->size()) {
        window->resize(client);
        // A minimum size may keep it larger than asked; place what it became.
        placed = PlaceWindow(window->size().grownBy(frame), parentFrame, available);
    }
    window->move(placed.topLeft());  // a window's position is that of its frame
}

QWidget* OpeningWindow()
{
    QWidget* active = QApplication::activeWindow();
    if (active && active->isVisible() && !active->isModal() && !QApplication::activeModalWidget()) return active;
    return MainWindow();
}

} // namespace kestrel2
