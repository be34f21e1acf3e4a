// Basic value types shared by every subsystem of the library.
#pragma once

#include <string>

// Byte-safe string: holds any byte, zero included.
using AnsiString = std::string;

// Days since 1899-12-30; the fraction is the time of day.
using TDateTime = double;
