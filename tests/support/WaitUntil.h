#pragma once
// Waiting in a test for something the event loop brings about.
#include "base/EventWait.h"

#include <QElapsedTimer>
#include <functional>

// Lets events run until the condition holds or the time is up; false when it is up.
inline bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 3000)
{
    QElapsedTimer t;
    t.start();
    while (!condition()) {
        if (t.elapsed() > timeoutMs) return false;
        buslink::LetPendingEventsRun(20);
    }
    return true;
}
