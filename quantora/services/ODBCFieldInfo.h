// Description of one result column of a query run through ODBCHandler.
#pragma once

#include <cstdint>
#include <utility>

#include "quantora/base/Types.h"

struct ODBCFieldInfo {
    ODBCFieldInfo() = default;
    ODBCFieldInfo(AnsiString name, int16_t sqlType, int32_t columnSize, int16_t decimalDigits,
                  bool nullable)
        : Name(std::move(name)),
          SQLType(sqlType),
          ColumnSize(columnSize),
          DecimalDigits(decimalDigits),
          Nullable(nullable) {}

    bool operator==(const ODBCFieldInfo&) const = default;

    AnsiString Name;
    int16_t SQLType = 0;
    int32_t ColumnSize = 0;  // -1 when the driver gives no limit
    int16_t DecimalDigits = 0;
    bool Nullable = false;
};
