// The names of the error categories.
#include "quantora/dblayer/EDatabaseError.h"

#include <iterator>

const char* DbErrorCategoryName(DbErrorCategory category) {
    // In the order of the enumerators.
    static constexpr const char* kNames[] = {"connection lost",
                                             "busy",
                                             "constraint violation",
                                             "serialization failure",
                                             "syntax error",
                                             "corrupt data",
                                             "I/O error",
                                             "other"};
    static_assert(std::size(kNames) == static_cast<size_t>(DbErrorCategory::Other) + 1);
    const auto i = static_cast<size_t>(category);
    return i < std::size(kNames) ? kNames[i] : "other";
}
