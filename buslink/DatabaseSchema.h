#pragma once
// Creating the component's scan and tag databases.
#include "scan/DatabaseSchema.h"
