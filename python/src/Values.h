// Values between Python and the database layer: Variant to a Python object (None, int, float,
// str, bytes, datetime) and a Python object into a query parameter.
#pragma once

#include <pybind11/pybind11.h>

#include <optional>

#include "quantora/base/Types.h"
#include "quantora/dblayer/Variant.h"

class TParam;

namespace quantora::python {

// Must be called once (module initialisation) before the conversions: imports the datetime C API
// and looks up numpy's scalar types.
void InitValues();

pybind11::object DateTimeObject(TDateTime value);
pybind11::object ToPython(const Variant& value);
// Text as str: UTF-8, bytes that are not UTF-8 kept as surrogate escapes.
pybind11::str TextObject(const AnsiString& text);

// A datetime or date as a date-time (a date at midnight); nothing for other objects.
std::optional<TDateTime> DateTimeValue(pybind11::handle value);
// Sets the parameter from None, bool, int, float, str, bytes-like, datetime, date or a numpy
// bool, integer or floating-point scalar; TypeError for anything else.
void BindParam(TParam& param, pybind11::handle value);

}  // namespace quantora::python
