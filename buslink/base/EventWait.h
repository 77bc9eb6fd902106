#pragma once
// The one wait primitive of the project: let pending events run.

namespace buslink {

// Processes pending events once. When none are pending it blocks until the
// next event arrives or maxMs milliseconds have passed, whichever comes first,
// so a loop around it never spins a core. Works in console and GUI hosts.
void LetPendingEventsRun(int maxMs = 10);

} // namespace buslink
