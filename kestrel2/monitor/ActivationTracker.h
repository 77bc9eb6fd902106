#pragma once
// Decides which changes of a window's active state count as the user moving
// between the tool's windows. A message box or file dialog of the tool takes
// the activation while it is up and hands it back when it closes; that round
// trip must neither stop a window's polling nor re-run its activation reads
// (otherwise a failed read's prompt would trigger the reads, and the prompt,
// again and again).
#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>

namespace kestrel2 {

enum class ActivationStep { None, Activate, Deactivate };

class ActivationTracker {
public:
    // `active`: the window's new state. `modalDialogUp`: one of the tool's modal
    // dialogs is showing (QApplication::activeModalWidget() is another widget).
    ActivationStep changed(bool active, bool modalDialogUp)
    {
        if (!active) {
            awayToDialog = modalDialogUp;
            return modalDialogUp ? ActivationStep::None : ActivationStep::Deactivate;
        }
        if (awayToDialog) {
            awayToDialog = false;
            return ActivationStep::None;
        }
        return ActivationStep::Activate;
    }

    // Follows an ActivationChange of `window`: a deactivation runs at once; an
    // activation runs from the event loop, not inside the window system's
    // activation handling, and a deactivation before then cancels it.
    void follow(QWidget* window, const std::function<void()>& activate, const std::function<void()>& deactivate = {})
    {
        QWidget* modal = QApplication::activeModalWidget();
        const ActivationStep step = changed(window->isActiveWindow(), modal && modal != window);
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

private:
    bool awayToDialog = false;
    int serial = 0;  // a queued activation runs only if nothing changed since
};

} // namespace kestrel2
