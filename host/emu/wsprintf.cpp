#include "wsprintf.h"

#include <algorithm>

namespace host::emu {
namespace {

enum class SizePrefix { None, Short, Long };

struct Conversion {
    bool left = false;      // '-': pad on the right
    bool hexPrefix = false; // '#': 0x before hexadecimal
    bool zeros = false;     // '0': pad with zeros instead of blanks
    size_t width = 0;
    bool hasPrecision = false;
    size_t precision = 0;
    SizePrefix size = SizePrefix::None;
};

// Pads a converted value to the field width. Zeros on the left go after a
// sign and a 0x prefix, where they keep the number's value.
std::string pad(const Conversion &spec, const std::string &lead, const std::string &body)
{
    const size_t length = lead.size() + body.size();
    if (spec.width <= length)
        return lead + body;
    const std::string fill(spec.width - length, spec.zeros ? '0' : ' ');
    if (spec.left)
        return lead + body + fill;
    if (spec.zeros)
        return lead + fill + body;
    return fill + lead + body;
}

std::string digits(uint32_t value, unsigned base, bool upper, size_t minimum)
{
    const char *set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string text;
    do {
        text.insert(text.begin(), set[value % base]);
        value /= base;
    } while (value);
    if (text.size() < minimum)
        text.insert(0, minimum - text.size(), '0');
    return text;
}

char narrow(char16_t c)
{
    // The system's code page agrees with the 16-bit code only below 0x80;
    // anything else has no single-byte form here.
    return c < 0x80 ? static_cast<char>(c) : '?';
}

} // namespace

std::string formatWsprintf(const std::string &format, FormatArguments &arguments)
{
    constexpr size_t Limit = WsprintfBufferSize - 1;
    std::string out;
    size_t i = 0;
    auto at = [&](size_t k) { return k < format.size() ? format[k] : '\0'; };
    while (i < format.size() && out.size() < Limit) {
        if (format[i] != '%') {
            out += format[i++];
            continue;
        }
        ++i;
        Conversion spec;
        if (at(i) == '-') {
            spec.left = true;
            ++i;
        }
        if (at(i) == '#') {
            spec.hexPrefix = true;
            ++i;
        }
        if (at(i) == '0') {
            spec.zeros = true;
            ++i;
        }
        while (at(i) >= '0' && at(i) <= '9' && spec.width < 100000)
            spec.width = spec.width * 10 + static_cast<size_t>(at(i++) - '0');
        while (at(i) >= '0' && at(i) <= '9')
            ++i;
        if (at(i) == '.') {
            spec.hasPrecision = true;
            ++i;
            while (at(i) >= '0' && at(i) <= '9') {
                if (spec.precision < 100000)
                    spec.precision = spec.precision * 10 + static_cast<size_t>(at(i) - '0');
                ++i;
            }
        }
        switch (at(i)) {
        case 'h': spec.size = SizePrefix::Short; ++i; break;
        case 'l':
        case 'w':
        case 'I': spec.size = SizePrefix::Long; ++i; break;
        default: break;
        }
        const char type = at(i);
        if (type == '\0')
            break;
        ++i;
        // Numbers: the precision is the least number of digits, 1 when it is
        // 0 or missing.
        const size_t minimumDigits = spec.hasPrecision && spec.precision > 0 ? spec.precision : 1;
        switch (type) {
        case 'd':
        case 'i': {
            const uint32_t word = arguments.next();
            const int32_t value = spec.size == SizePrefix::Short ? static_cast<int16_t>(word) : static_cast<int32_t>(word);
            const uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
            out += pad(spec, value < 0 ? "-" : "", digits(magnitude, 10, false, minimumDigits));
            break;
        }
        case 'u': {
            const uint32_t word = arguments.next();
            out += pad(spec, "", digits(spec.size == SizePrefix::Short ? word & 0xffff : word, 10, false, minimumDigits));
            break;
        }
        case 'x':
        case 'X': {
            const uint32_t word = arguments.next();
            const bool upper = type == 'X';
            out += pad(spec, spec.hexPrefix ? (upper ? "0X" : "0x") : "",
                       digits(spec.size == SizePrefix::Short ? word & 0xffff : word, 16, upper, minimumDigits));
            break;
        }
        case 'p': {
            const uint32_t word = arguments.next();
            out += pad(spec, "", digits(word, 16, true, 8));
            break;
        }
        case 'c':
        case 'C': {
            // c is a byte character unless marked long; C is a 16-bit one
            // unless marked short. A character of value zero adds nothing.
            const uint32_t word = arguments.next();
            const bool wide = type == 'C' ? spec.size != SizePrefix::Short : spec.size == SizePrefix::Long;
            const char c = wide ? narrow(static_cast<char16_t>(word & 0xffff)) : static_cast<char>(word & 0xff);
            if ((wide ? word & 0xffff : word & 0xff) != 0)
                out += pad(spec, "", std::string(1, c));
            break;
        }
        case 's':
        case 'S': {
            const uint32_t address = arguments.next();
            const bool wide = type == 'S' ? spec.size != SizePrefix::Short : spec.size == SizePrefix::Long;
            const size_t most = spec.hasPrecision ? std::min(spec.precision, Limit) : Limit;
            std::string text;
            if (address == 0) {
                text = std::string("(null)").substr(0, most);
            } else if (wide) {
                for (char16_t c : arguments.wideText(address, most))
                    text += narrow(c);
            } else {
                text = arguments.narrowText(address, most);
            }
            if (text.size() > most)
                text.resize(most);
            out += pad(spec, "", text);
            break;
        }
        default:
            // No meaning as a format field: the character itself ("%%").
            out += type;
            break;
        }
    }
    if (out.size() > Limit)
        out.resize(Limit);
    return out;
}

} // namespace host::emu
