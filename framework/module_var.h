// Reading and writing a ModuleVar's value in the two forms the host keeps:
// a float64, or an int32 in the first four bytes.
#pragma once

#include "gauge_abi.h"

#include <cstdint>
#include <cstring>

namespace gauge {

inline double variableNumber(const ModuleVar &variable)
{
    double number;
    std::memcpy(&number, variable.value.bytes, sizeof number);
    return number;
}

inline int32_t variableInt32(const ModuleVar &variable)
{
    int32_t integer;
    std::memcpy(&integer, variable.value.bytes, sizeof integer);
    return integer;
}

inline void storeVariableNumber(ModuleVar &variable, double number)
{
    std::memcpy(variable.value.bytes, &number, sizeof number);
}

inline void storeVariableInt32(ModuleVar &variable, int32_t integer)
{
    std::memset(variable.value.bytes, 0, sizeof variable.value.bytes);
    std::memcpy(variable.value.bytes, &integer, sizeof integer);
}

} // namespace gauge
