#pragma once
// The error number a component call raises, for tests that check refusals.
#include "base/BuslinkError.h"

#include <functional>

// The number of the BuslinkError f throws; 0 when it throws none.
inline int errorNumberOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const buslink::BuslinkError& e) {
        return e.number();
    }
    return 0;
}
