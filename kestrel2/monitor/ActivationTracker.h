#pragma once
// Decides which changes of a window's active state count as the user moving
// between the tool's windows. Only another window of the tool taking the
// activation does. A message box or file dialog of the tool takes it while it
// is up and hands it back when it closes; that round trip must neither stop a
// window's polling nor re-run its activation reads (otherwise a failed read's
// prompt would trigger the reads, and the prompt, again and again). Nor does
// switching to another program and back: the window goes on polling meanwhile
// and reads nothing anew on return. If the user comes back to another window
// of the tool instead, that is the move that counts.
#include <QApplication>
#include <QGuiApplication>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <functional>

namespace kestrel2 {

enum class ActivationStep { None, Activate, Deactivate };

// Where the activation went when a window lost it.
enum class ActivationTarget {
    ToolWindow,    // another window of the tool
    ToolDialog,    // one of the tool's modal dialogs
    OtherProgram,  // no window of the tool: the user switched programs
};

class ActivationTracker {
public:
    // `active`: the window's new state; `target`: where the activation went when it lost it.
    ActivationStep changed(bool active, ActivationTarget target = ActivationTarget::ToolWindow)
    {
        if (!active) {
            away = target != ActivationTarget::ToolWindow;
            return away ? ActivationStep::None : ActivationStep::Deactivate;
        }
        if (away) {
            away = false;
            return ActivationStep::None;
        }
        return ActivationStep::Activate;
    }

    // Another window of the tool became active while this one was inactive. After a
    // dialog or another program, that is the user moving on: the deactivation held back.
    ActivationStep otherToolWindowActivated()
    {
        if (!away) return ActivationStep::None;
        away = false;
        return ActivationStep::Deactivate;
    }

    // Follows an ActivationChange of `window`: a deactivation runs at once; an
    // activation runs from the event loop, not inside the window system's
    // activation handling, and a deactivation before then cancels it.
    void follow(QWidget* window, const std::function<void()>& activate, const std::function<void()>& deactivate = {})
    {
        watchOtherWindows(window, deactivate);
        const bool active = window->isActiveWindow();
        run(window, changed(active, active ? ActivationTarget::ToolWindow : targetOf(window)), activate, deactivate);
    }

private:
    static ActivationTarget targetOf(QWidget* window)
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && modal != window) return ActivationTarget::ToolDialog;
        return QApplication::activeWindow() ? ActivationTarget::ToolWindow : ActivationTarget::OtherProgram;
    }

    void run(QWidget* window, ActivationStep step, const std::function<void()>& activate,
             const std::function<void()>& deactivate)
    {
        if (step == ActivationStep::Deactivate) {
            ++serial;
            if (deactivate) deactivate();
        } else if (step == ActivationStep::Activate) {
            const int queued = ++serial;
            QTimer::singleShot(0, window, [this, queued, activate] {
                if (queued == serial) activate();
            });
        }
    }

    // The window learns of another window of the tool taking the focus even when it
    // had lost the activation earlier (to a dialog or to another program).
    void watchOtherWindows(QWidget* window, const std::function<void()>& deactivate)
    {
        if (watching) return;
        watching = true;
        const auto focusMoved = [this, window, deactivate](QWindow* focus) {
            if (!focus || window->isActiveWindow()) return;
            for (QWidget* other : QApplication::topLevelWidgets()) {
                if (other->windowHandle() != focus) continue;
                const bool transient = other == window || other->isModal() || QApplication::activeModalWidget() ||
                                       other->windowType() == Qt::Popup || other->windowType() == Qt::ToolTip;
                if (!transient) run(window, otherToolWindowActivated(), {}, deactivate);
                return;
            }
        };
        QObject::connect(qGuiApp, &QGuiApplication::focusWindowChanged, window, focusMoved);
    }

    bool away = false;      // the activation went to a dialog or another program, not to a window of the tool
    bool watching = false;
    int serial = 0;         // a queued activation runs only if nothing changed since
};

} // namespace kestrel2
