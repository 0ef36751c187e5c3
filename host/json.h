// Just enough JSON writing for the host's line-per-result output: numbers
// in their shortest exact form, non-finite numbers as strings.
#pragma once

#include <string>
#include <string_view>

namespace host::json {

// A float64 as JSON: "nan", "inf" and "-inf" as strings.
std::string number(double value);
// A quoted, escaped string.
std::string string(std::string_view text);

} // namespace host::json
