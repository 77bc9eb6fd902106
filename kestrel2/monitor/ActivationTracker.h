#pragma once
// Decides which changes of a window's active state count as the user moving
// between the tool's windows. A message box or file dialog of the tool takes
// the activation while it is up and hands it back when it closes; that round
// trip must neither stop a window's polling nor re-run its activation reads
// (otherwise a failed read's prompt would trigger the reads, and the prompt,
// again and again).
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

private:
    bool awayToDialog = false;
};

} // namespace kestrel2
