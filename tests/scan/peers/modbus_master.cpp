// An independent Modbus RTU master (libmodbus) for the slave-mode tests.
//
//   scan_modbus_master --device PATH [--unit N] OPERATION...
//
// Operations (addresses are zero-based protocol addresses):
//   read-coils A N | read-inputs A N | read-holding A N | read-input-registers A N
//   write-coil A 0|1 | write-register A V | write-coils A b,b,... | write-registers A v,v,...
//   report-slave-id
//   load N      N requests back to back (writes and read-backs of registers and coils)
// Prints one line per operation: "<operation> OK <values>", "<operation> EXCEPTION <code>"
// or "<operation> ERROR <text>", then "DONE".
#include <modbus/modbus.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<int> splitNumbers(const char* text)
{
    std::vector<int> out;
    std::string s(text);
    size_t start = 0;
    while (start <= s.size()) {
        const size_t comma = s.find(',', start);
        const std::string item = s.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (!item.empty()) out.push_back(std::atoi(item.c_str()));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return out;
}

void report(const std::string& what, int rc, const std::string& values = std::string())
{
    const int exception = errno - MODBUS_ENOBASE;
    if (rc < 0 && exception >= MODBUS_EXCEPTION_ILLEGAL_FUNCTION && exception < MODBUS_EXCEPTION_MAX)
        std::printf("%s EXCEPTION %d\n", what.c_str(), exception);
    else if (rc < 0)
        std::printf("%s ERROR %s\n", what.c_str(), modbus_strerror(errno));
    else
        std::printf("%s OK%s%s\n", what.c_str(), values.empty() ? "" : " ", values.c_str());
    std::fflush(stdout);
}

template <typename T>
std::string join(const T* v, int n)
{
    std::string out;
    for (int i = 0; i < n; ++i) out += (i ? " " : "") + std::to_string(v[i]);
    return out;
}

// Writes and reads back registers and coils; every reply is checked.
void load(modbus_t* ctx, int total)
{
    int ok = 0;
    const auto started = std::chrono::steady_clock::now();
    uint16_t reg = 0;
    uint8_t bit = 0;
    for (int i = 0; i < total; ++i) {
        const int slot = (i / 4) % 50;
        const uint16_t value = uint16_t((i * 7919) & 0xFFFF);
        switch (i % 4) {
        case 0:
            if (modbus_write_register(ctx, slot, value) == 1) ++ok;
            break;
        case 1:
            if (modbus_read_registers(ctx, slot, 1, &reg) == 1 && reg == uint16_t(((i - 1) * 7919) & 0xFFFF)) ++ok;
            break;
        case 2:
            if (modbus_write_bit(ctx, slot, (i / 4) % 2) == 1) ++ok;
            break;
        default:
            if (modbus_read_bits(ctx, slot, 1, &bit) == 1 && bit == uint8_t((i / 4) % 2)) ++ok;
            break;
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("LOAD total=%d ok=%d seconds=%.3f\n", total, ok, seconds);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    const char* device = nullptr;
    int unit = 1;
    int i = 1;
    for (; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--device") && i + 1 < argc) device = argv[++i];
        else if (!std::strcmp(argv[i], "--unit") && i + 1 < argc) unit = std::atoi(argv[++i]);
        else break;
    }
    if (!device) {
        std::fprintf(stderr, "usage: %s --device PATH [--unit N] OPERATION...\n", argv[0]);
        return 2;
    }
    modbus_t* ctx = modbus_new_rtu(device, 9600, 'N', 8, 1);
    if (!ctx || modbus_connect(ctx) != 0) {
        std::printf("CONNECT ERROR %s\n", modbus_strerror(errno));
        return 1;
    }
    modbus_set_slave(ctx, unit);
    modbus_set_response_timeout(ctx, 1, 0);
    for (; i < argc; ++i) {
        const std::string op = argv[i];
        const auto arg = [&](int k) { return i + k < argc ? argv[i + k] : "0"; };
        const int a = std::atoi(arg(1));
        const std::string what = op + " " + arg(1) + (op == "load" ? "" : std::string(" ") + arg(2));
        if (op == "read-coils" || op == "read-inputs") {
            std::vector<uint8_t> bits(size_t(std::atoi(arg(2))) + 1);
            const int rc = op == "read-coils" ? modbus_read_bits(ctx, a, std::atoi(arg(2)), bits.data())
                                              : modbus_read_input_bits(ctx, a, std::atoi(arg(2)), bits.data());
            report(what, rc, rc > 0 ? join(bits.data(), rc) : "");
            i += 2;
        } else if (op == "read-holding" || op == "read-input-registers") {
            std::vector<uint16_t> regs(size_t(std::atoi(arg(2))) + 1);
            const int rc = op == "read-holding" ? modbus_read_registers(ctx, a, std::atoi(arg(2)), regs.data())
                                                : modbus_read_input_registers(ctx, a, std::atoi(arg(2)), regs.data());
            report(what, rc, rc > 0 ? join(regs.data(), rc) : "");
            i += 2;
        } else if (op == "write-coil") {
            report(what, modbus_write_bit(ctx, a, std::atoi(arg(2))));
            i += 2;
        } else if (op == "write-register") {
            report(what, modbus_write_register(ctx, a, std::atoi(arg(2))));
            i += 2;
        } else if (op == "write-coils") {
            std::vector<uint8_t> bits;
            for (int v : splitNumbers(arg(2))) bits.push_back(uint8_t(v));
            report(what, modbus_write_bits(ctx, a, int(bits.size()), bits.data()));
            i += 2;
        } else if (op == "write-registers") {
            std::vector<uint16_t> regs;
            for (int v : splitNumbers(arg(2))) regs.push_back(uint16_t(v));
            report(what, modbus_write_registers(ctx, a, int(regs.size()), regs.data()));
            i += 2;
        } else if (op == "report-slave-id") {
            uint8_t id[MODBUS_MAX_PDU_LENGTH];
            report(op, modbus_report_slave_id(ctx, int(sizeof id), id));
        } else if (op == "load") {
            load(ctx, a);
            i += 1;
        } else {
            std::printf("%s ERROR unknown operation\n", op.c_str());
        }
    }
    std::printf("DONE\n");
    std::fflush(stdout);
    modbus_close(ctx);
    modbus_free(ctx);
    return 0;
}
