#pragma once
// The errors the component raises and why a transaction ended.
#include "base/BuslinkError.h"
#include "base/TransactionOutcome.h"
