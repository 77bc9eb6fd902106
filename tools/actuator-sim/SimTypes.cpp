#include "SimTypes.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace actuatorsim {

namespace {
const int kBaudRates[] = {300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};

std::string trimmed(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}
}  // namespace

std::optional<long> parseInteger(const std::string& text)
{
    const std::string t = trimmed(text);
    if (t.empty()) return std::nullopt;
    errno = 0;
    char* end = nullptr;
    const long value = std::strtol(t.c_str(), &end, 10);
    if (errno != 0 || end == t.c_str() || *end != '\0') return std::nullopt;
    return value;
}

std::optional<double> parseNumber(const std::string& text)
{
    const std::string t = trimmed(text);
    if (t.empty()) return std::nullopt;
    errno = 0;
    char* end = nullptr;
    const double value = std::strtod(t.c_str(), &end);
    if (errno != 0 || end == t.c_str() || *end != '\0' || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::vector<std::string> splitWords(const std::string& line)
{
    std::vector<std::string> words;
    std::istringstream in(line);
    std::string word;
    while (in >> word) words.push_back(word);
    return words;
}

std::optional<Reference> parseReference(const std::string& text)
{
    const std::string t = trimmed(text);
    if (t.empty() || t.size() > 6) return std::nullopt;
    for (char c : t)
        if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
    const long number = std::strtol(t.c_str(), nullptr, 10);
    const bool six = t.size() == 6;
    const long base = six ? 100000 : 10000;
    const long range = number / base;
    const long offset = number - range * base - 1;
    if (offset < 0) return std::nullopt;
    switch (range) {
    case 0: return Reference{Table::Coil, int(offset)};
    case 1: return Reference{Table::DiscreteInput, int(offset)};
    case 3: return Reference{Table::InputRegister, int(offset)};
    case 4: return Reference{Table::HoldingRegister, int(offset)};
    default: return std::nullopt;
    }
}

std::string sixDigit(Table table, int offset)
{
    int range = 0;
    switch (table) {
    case Table::Coil: range = 0; break;
    case Table::DiscreteInput: range = 1; break;
    case Table::InputRegister: range = 3; break;
    case Table::HoldingRegister: range = 4; break;
    }
    char text[16];
    std::snprintf(text, sizeof text, "%06d", range * 100000 + offset + 1);
    return text;
}

std::string sixDigit(const Reference& reference) { return sixDigit(reference.table, reference.offset); }

std::string LineSettings::text() const
{
    return std::to_string(baud) + "," + std::string(1, parity) + "," + std::to_string(dataBits) + "," +
           std::to_string(stopBits);
}

std::optional<LineSettings> parseLineSettings(const std::string& text)
{
    std::vector<std::string> fields;
    std::string field;
    std::istringstream in(text);
    while (std::getline(in, field, ',')) fields.push_back(trimmed(field));
    if (fields.size() != 4) return std::nullopt;
    LineSettings settings;
    const auto baud = parseInteger(fields[0]);
    const auto data = parseInteger(fields[2]);
    const auto stop = parseInteger(fields[3]);
    if (!baud || baudCode(int(*baud)) == 0) return std::nullopt;
    if (fields[1].size() != 1) return std::nullopt;
    const char parity = char(std::tolower(static_cast<unsigned char>(fields[1][0])));
    if (parity != 'n' && parity != 'e' && parity != 'o') return std::nullopt;
    if (!data || *data != 8) return std::nullopt;
    if (!stop || (*stop != 1 && *stop != 2)) return std::nullopt;
    settings.baud = int(*baud);
    settings.parity = parity;
    settings.dataBits = 8;
    settings.stopBits = int(*stop);
    return settings;
}

int baudCode(int baud)
{
    for (int i = 0; i < 10; ++i)
        if (kBaudRates[i] == baud) return i + 1;
    return 0;
}

std::optional<int> baudFromCode(int code)
{
    if (code < 1 || code > 10) return std::nullopt;
    return kBaudRates[code - 1];
}

int parityStopCode(char parity, int stopBits)
{
    const int parityIndex = parity == 'e' ? 1 : parity == 'o' ? 2 : 0;
    return parityIndex * 2 + (stopBits == 2 ? 1 : 0);
}

bool applyParityStopCode(int code, LineSettings& settings)
{
    if (code < 0 || code > 5) return false;
    const char parities[] = {'n', 'e', 'o'};
    settings.parity = parities[code / 2];
    settings.stopBits = code % 2 == 0 ? 1 : 2;
    return true;
}

}  // namespace actuatorsim
