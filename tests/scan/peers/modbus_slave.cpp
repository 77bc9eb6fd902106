// An independent Modbus RTU slave (libmodbus) for the scan tests.
//
//   scan_modbus_slave --device PATH [--unit N] [--holding A=V ...] [--input A=V ...]
//
// Serves coils, discrete inputs, holding and input registers 0..999 with the
// given values (zero-based addresses). Prints "READY" once listening and one
// line per request served: "REQUEST unit=U function=F address=A".
#include <modbus/modbus.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
volatile std::sig_atomic_t stopping = 0;
void onSignal(int) { stopping = 1; }
} // namespace

int main(int argc, char** argv)
{
    const char* device = nullptr;
    int unit = 1;
    modbus_mapping_t* map = modbus_mapping_new(1000, 1000, 1000, 1000);
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--device") && i + 1 < argc) {
            device = argv[++i];
        } else if (!std::strcmp(argv[i], "--unit") && i + 1 < argc) {
            unit = std::atoi(argv[++i]);
        } else if ((!std::strcmp(argv[i], "--holding") || !std::strcmp(argv[i], "--input")) && i + 1 < argc) {
            const bool holding = !std::strcmp(argv[i], "--holding");
            const char* assignment = argv[++i];
            const int address = std::atoi(assignment);
            const char* eq = std::strchr(assignment, '=');
            const int value = eq ? std::atoi(eq + 1) : 0;
            if (address >= 0 && address < 1000)
                (holding ? map->tab_registers : map->tab_input_registers)[address] = uint16_t(value);
        }
    }
    if (!device) {
        std::fprintf(stderr, "usage: %s --device PATH [--unit N] [--holding A=V] [--input A=V]\n", argv[0]);
        return 2;
    }
    std::signal(SIGTERM, onSignal);
    std::signal(SIGINT, onSignal);
    modbus_t* ctx = modbus_new_rtu(device, 9600, 'N', 8, 1);
    if (!ctx || modbus_connect(ctx) != 0) {
        std::printf("CONNECT ERROR %s\n", modbus_strerror(errno));
        return 1;
    }
    modbus_set_slave(ctx, unit);
    std::printf("READY\n");
    std::fflush(stdout);
    uint8_t query[MODBUS_RTU_MAX_ADU_LENGTH];
    while (!stopping) {
        const int rc = modbus_receive(ctx, query);
        if (rc > 0) {
            std::printf("REQUEST unit=%d function=%d address=%d\n", query[0], query[1], query[2] * 256 + query[3]);
            std::fflush(stdout);
            modbus_reply(ctx, query, rc, map);
        } else if (rc < 0 && errno != ETIMEDOUT && errno != EMBBADCRC && errno != EMBBADDATA && errno != EINTR
                   && errno != EMBBADSLAVE) {
            break;  // the line is gone
        }
    }
    modbus_close(ctx);
    modbus_free(ctx);
    modbus_mapping_free(map);
    return 0;
}
