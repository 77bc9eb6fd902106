#pragma once
// Builds the module's replies with libmodbus. The libmodbus RTU context never
// touches the line: its "socket" is the write end of a pipe, so every reply it
// sends lands in the pipe, where we pick it up as bytes and decide (faults,
// delays) how it goes out on the line.
#include "ActuatorModel.h"
#include "RtuFraming.h"

typedef struct _modbus modbus_t;
typedef struct _modbus_mapping_t modbus_mapping_t;

namespace actuatorsim {

class ReplyBuilder {
public:
    ReplyBuilder();
    ~ReplyBuilder();
    ReplyBuilder(const ReplyBuilder&) = delete;
    ReplyBuilder& operator=(const ReplyBuilder&) = delete;

    bool isValid() const { return context != nullptr && mapping != nullptr && pipeRead >= 0; }
    // The normal reply to a request the model has served (its writes already applied).
    Frame reply(const Frame& request, const ActuatorModel& model);
    // An exception reply with the given code.
    Frame exception(const Frame& request, int code);

private:
    void loadMapping(const ActuatorModel& model);
    Frame collect();

    modbus_t* context = nullptr;
    modbus_mapping_t* mapping = nullptr;
    int pipeRead = -1;
    int pipeWrite = -1;
};

}  // namespace actuatorsim
