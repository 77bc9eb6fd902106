#pragma once
// The connection that last found an actuator, kept in the tool's own settings
// file so the connection window offers it again at the next start. Nothing is
// kept until a connection has succeeded, so a first start preselects nothing.
#include "ConnectionSettings.h"

#include <QString>
#include <optional>

namespace kestrel2 {

// $XDG_CONFIG_HOME/kestrel2/kestrel2.ini (usually ~/.config/kestrel2/kestrel2.ini).
QString ToolSettingsPath();

// Keeps port, baud rate, parity, stop bits and address (as the texts of their entries).
void RememberConnection(const ConnectionChoice& choice);
// The remembered choice; an entry the lists no longer hold comes back unchosen (-1).
// Nothing when no connection has been remembered.
std::optional<ConnectionChoice> RememberedConnection();

} // namespace kestrel2
