#pragma once
// Runs a step of the component whose failure (a closed port, say) is to be skipped:
// the caller's own status or next step decides the outcome.
#include <exception>

namespace kestrel2 {

template <typename Step>
void Safely(Step step)
{
    try {
        step();
    } catch (const std::exception&) {
    }
}

} // namespace kestrel2
