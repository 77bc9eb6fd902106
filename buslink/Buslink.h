#pragma once
// The buslink component: a Modbus master and slave on a serial line or a TCP
// endpoint, with its properties, transactions, events and frame trace.
#include "shell/Buslink.h"
