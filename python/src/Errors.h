// Python exceptions of the module: quantora.Error, quantora.DatabaseError and its subclasses by
// error category, the library's other kinds of failure (a bad file and misuse are ValueErrors,
// a missing file a FileNotFoundError, a missing key a KeyError), and the translation of the
// library's C++ exceptions into them.
#pragma once

#include <pybind11/pybind11.h>

#include <stdexcept>

namespace quantora::python {

// No row has the key the caller asked for: KeyError in Python.
struct NotFound : std::runtime_error {
    using std::runtime_error::runtime_error;
};
// The row exists but what was asked of it does not apply (no calibration): LookupError.
struct NoneApplies : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Creates the exception classes in `m` and registers the translator.
void RegisterErrors(pybind11::module_& m);

}  // namespace quantora::python
