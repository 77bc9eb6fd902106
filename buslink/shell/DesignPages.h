#pragma once
// The component's design-time windows live in the buslink-widgets library, so a
// console host links no GUI toolkit. That library registers them here when it is
// loaded; without it the component says so instead of showing anything.
#include <QString>

#include <functional>

namespace buslink {

struct DesignPages {
    std::function<void()> showAboutBox;
    std::function<void()> editScanDatabase;
    std::function<QString()> ambientFont;  // the GUI application's font, as text
};

// The windows registered so far (empty functions: none).
DesignPages& RegisteredDesignPages();

} // namespace buslink
