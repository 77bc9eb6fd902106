#pragma once
// The I/O database service: where read replies go and queued writes come from.
#include "scan/IoDatabaseService.h"
