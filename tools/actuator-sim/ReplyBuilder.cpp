#include "ReplyBuilder.h"

#include <modbus.h>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace actuatorsim {

ReplyBuilder::ReplyBuilder()
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return;
    pipeRead = fds[0];
    pipeWrite = fds[1];
    ::fcntl(pipeRead, F_SETFL, ::fcntl(pipeRead, F_GETFL) | O_NONBLOCK);
    // The device name and line settings of this context are never used: it only builds frames.
    context = modbus_new_rtu("/dev/null", 9600, 'N', 8, 1);
    if (!context) return;
    modbus_set_socket(context, pipeWrite);
    // libmodbus sleeps for the response time-out before some exception replies; keep that short.
    modbus_set_response_timeout(context, 0, 1000);
    mapping = modbus_mapping_new(kCoilCount, input::Count, reg::Count, kInputRegisterCount);
}

ReplyBuilder::~ReplyBuilder()
{
    if (mapping) modbus_mapping_free(mapping);
    if (context) modbus_free(context);  // never connected, so nothing to close
    if (pipeRead >= 0) ::close(pipeRead);
    if (pipeWrite >= 0) ::close(pipeWrite);
}

void ReplyBuilder::loadMapping(const ActuatorModel& model)
{
    for (int i = 0; i < kCoilCount; ++i) mapping->tab_bits[i] = std::uint8_t(model.value(Table::Coil, i));
    for (int i = 0; i < input::Count; ++i)
        mapping->tab_input_bits[i] = std::uint8_t(model.value(Table::DiscreteInput, i));
    for (int i = 0; i < kInputRegisterCount; ++i)
        mapping->tab_input_registers[i] = model.value(Table::InputRegister, i);
    for (int i = 0; i < reg::Count; ++i) mapping->tab_registers[i] = model.value(Table::HoldingRegister, i);
}

Frame ReplyBuilder::reply(const Frame& request, const ActuatorModel& model)
{
    if (!isValid()) return {};
    loadMapping(model);
    if (modbus_reply(context, request.data(), int(request.size()), mapping) < 0) return {};
    return collect();
}

Frame ReplyBuilder::exception(const Frame& request, int code)
{
    if (!isValid() || request.size() < 2) return {};
    if (modbus_reply_exception(context, request.data(), unsigned(code)) < 0) return {};
    return collect();
}

Frame ReplyBuilder::collect()
{
    Frame bytes;
    std::uint8_t buffer[512];
    for (;;) {
        const ssize_t n = ::read(pipeRead, buffer, sizeof buffer);
        if (n > 0) {
            bytes.insert(bytes.end(), buffer, buffer + n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        break;
    }
    return bytes;
}

}  // namespace actuatorsim
