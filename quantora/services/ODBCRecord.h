// The current result row of ODBCHandler: one description, value and null flag per column.
#pragma once

#include <cstddef>
#include <vector>

#include "quantora/base/Types.h"
#include "quantora/services/ODBCFieldInfo.h"

struct ODBCRecord {
    // Resizes the three sequences to n elements; new elements are empty (and not null).
    void SetColNum(size_t n) {
        FieldInfos.resize(n);
        Values.resize(n);
        NullFlags.resize(n);
    }

    std::vector<ODBCFieldInfo> FieldInfos;
    std::vector<AnsiString> Values;
    std::vector<bool> NullFlags;  // true when the value is null
};
