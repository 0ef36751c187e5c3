// The text formatting of the Windows user-interface library's wsprintfA and
// wvsprintfA, as documented: conversions of the form
// %[-][#][0][width][.precision]type with the types c, C, d, i, u, x, X, s,
// S, p and the size prefixes h, l, w and I; no floating point; at most 1,024
// bytes of output, the terminating NUL included.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace host::emu {

// Where the formatter takes its arguments from: consecutive 32-bit words,
// and the texts that pointer arguments point at.
class FormatArguments {
public:
    virtual ~FormatArguments() = default;
    virtual uint32_t next() = 0;
    // The NUL-terminated text at address, at most maxLength characters of it.
    virtual std::string narrowText(uint32_t address, size_t maxLength) = 0;
    // A text of 16-bit characters, each as its code.
    virtual std::u16string wideText(uint32_t address, size_t maxLength) = 0;
};

constexpr size_t WsprintfBufferSize = 1024;

// The characters wsprintfA stores, without the terminating NUL: never more
// than WsprintfBufferSize - 1 of them.
std::string formatWsprintf(const std::string &format, FormatArguments &arguments);

} // namespace host::emu
