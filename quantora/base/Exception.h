// The exception every failure of the library is reported with: a message text.
#pragma once

#include <exception>
#include <utility>

#include "quantora/base/Types.h"

class Exception : public std::exception {
public:
    explicit Exception(AnsiString message) : Message(std::move(message)) {}
    const char* what() const noexcept override { return Message.c_str(); }

    AnsiString Message;
};
