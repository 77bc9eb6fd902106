// An independent Modbus RTU slave on libmodbus for the master tests and the
// benchmark.
//
//   libmodbus_rtu_slave DEVICE [UNIT] [SETTINGS]      (SETTINGS like 9600,e,8,1)
//
// Data (zero-based addresses): coil i on when i % 3 == 0, discrete input i on
// when i is odd, input register i = 1000 + i, holding register i = i. Answers
// UNIT and carries out broadcasts. Prints READY once the line is open; ends on
// SIGTERM or when the line goes away.
#include <modbus.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {
volatile std::sig_atomic_t stopping = 0;
void onSignal(int) { stopping = 1; }
} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s DEVICE [UNIT] [BAUD,PARITY,DATA,STOP]\n", argv[0]);
        return 2;
    }
    const int unit = argc > 2 ? std::atoi(argv[2]) : 1;
    int baud = 9600, dataBits = 8, stopBits = 1;
    char parity = 'E';
    if (argc > 3) {
        char p = 'e';
        if (std::sscanf(argv[3], "%d,%c,%d,%d", &baud, &p, &dataBits, &stopBits) != 4) return 2;
        parity = p == 'n' || p == 'N' ? 'N' : p == 'o' || p == 'O' ? 'O' : 'E';
    }

    modbus_t* ctx = modbus_new_rtu(argv[1], baud, parity, dataBits, stopBits);
    if (!ctx || modbus_set_slave(ctx, unit) != 0 || modbus_connect(ctx) != 0) {
        std::fprintf(stderr, "cannot open %s: %s\n", argv[1], modbus_strerror(errno));
        return 1;
    }
    modbus_mapping_t* map = modbus_mapping_new(2000, 2000, 1000, 1000);
    for (int i = 0; i < 2000; ++i) {
        map->tab_bits[i] = i % 3 == 0;
        map->tab_input_bits[i] = i % 2 == 1;
    }
    for (int i = 0; i < 1000; ++i) {
        map->tab_input_registers[i] = uint16_t(1000 + i);
        map->tab_registers[i] = uint16_t(i);
    }

    struct sigaction sa {};
    sa.sa_handler = onSignal;  // no SA_RESTART: a blocked receive returns
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    std::printf("READY\n");
    std::fflush(stdout);

    uint8_t query[MODBUS_RTU_MAX_ADU_LENGTH];
    while (!stopping) {
        const int n = modbus_receive(ctx, query);
        if (n > 0) {
            modbus_reply(ctx, query, n, map);
        } else if (n < 0 && errno != EMBBADCRC && errno != EMBBADDATA && errno != EINTR && errno != ETIMEDOUT
                   && errno != EMBBADSLAVE) {
            break;  // the line is gone
        }
    }
    modbus_mapping_free(map);
    modbus_close(ctx);
    modbus_free(ctx);
    return 0;
}
