#pragma once
// Value types shared by the simulator's core: Modicon references and line settings.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace actuatorsim {

enum class Table { Coil, DiscreteInput, InputRegister, HoldingRegister };

// A point of one data table, by its zero-based protocol offset.
struct Reference {
    Table table = Table::Coil;
    int offset = 0;
    bool operator==(const Reference& other) const { return table == other.table && offset == other.offset; }
};

// Reads a Modicon reference in its five- or six-digit form: 5 or 000005 (coil 5),
// 10001 or 100001, 30004 or 300004, 40026 or 400026. Anything else gives nothing.
std::optional<Reference> parseReference(const std::string& text);
// The six-digit form: 000005, 100001, 300004, 400026.
std::string sixDigit(const Reference& reference);
std::string sixDigit(Table table, int offset);

// Serial settings of the module's line: baud, parity letter n/e/o, data bits, stop bits.
struct LineSettings {
    int baud = 9600;
    char parity = 'e';
    int dataBits = 8;
    int stopBits = 1;
    std::string text() const;  // 9600,e,8,1
    bool operator==(const LineSettings& other) const
    {
        return baud == other.baud && parity == other.parity && dataBits == other.dataBits &&
               stopBits == other.stopBits;
    }
};

// Parses "9600,e,8,1" (parity letter in either case). The module only runs 8 data bits
// at one of the ten baud rates of its baud-rate register.
std::optional<LineSettings> parseLineSettings(const std::string& text);

// Baud-rate register: 1 to 10 for 300 ... 115200; 0 for a rate not in the list.
int baudCode(int baud);
std::optional<int> baudFromCode(int code);
// Parity/stop-bits register: 0 n,1  1 n,2  2 e,1  3 e,2  4 o,1  5 o,2.
int parityStopCode(char parity, int stopBits);
bool applyParityStopCode(int code, LineSettings& settings);

// Whole-text helpers for option and command parsing.
std::optional<long> parseInteger(const std::string& text);
std::optional<double> parseNumber(const std::string& text);
std::vector<std::string> splitWords(const std::string& line);

}  // namespace actuatorsim
