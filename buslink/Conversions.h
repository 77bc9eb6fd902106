#pragma once
// Numeric conversions between host values and Modbus registers.
#include "conversions/NumericConversions.h"
#include "conversions/RegisterWords.h"
