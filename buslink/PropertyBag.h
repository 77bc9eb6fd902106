#pragma once
// What the component needs from its host: a property bag and the design-mode flag.
#include "shell/PropertyBag.h"
