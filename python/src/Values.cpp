// Conversions between Python objects and the layer's values.
#include "python/src/Values.h"

#include <datetime.h>

#include "quantora/base/DateTime.h"
#include "quantora/dblayer/TParam.h"

namespace py = pybind11;

namespace quantora::python {
namespace {
// numpy.bool_, numpy.integer and numpy.floating; references held for the process.
PyObject* g_np_bool = nullptr;
PyObject* g_np_integer = nullptr;
PyObject* g_np_floating = nullptr;

bool IsInstance(py::handle value, PyObject* type) {
    const int r = PyObject_IsInstance(value.ptr(), type);
    if (r < 0) throw py::error_already_set();
    return r == 1;
}
}  // namespace

void InitValues() {
    PyDateTime_IMPORT;
    if (!PyDateTimeAPI) throw py::error_already_set();
    const py::module_ np = py::module_::import("numpy");
    g_np_bool = py::object(np.attr("bool_")).release().ptr();
    g_np_integer = py::object(np.attr("integer")).release().ptr();
    g_np_floating = py::object(np.attr("floating")).release().ptr();
}

py::object DateTimeObject(TDateTime value) {
    const CivilTime t = DecodeDateTime(value);
    PyObject* o = PyDateTime_FromDateAndTime(t.year, t.month, t.day, t.hour, t.minute, t.second,
                                             t.microsecond);
    if (!o) throw py::error_already_set();
    return py::reinterpret_steal<py::object>(o);
}

py::str TextObject(const AnsiString& text) {
    PyObject* o =
        PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "surrogateescape");
    if (!o) throw py::error_already_set();
    return py::reinterpret_steal<py::str>(o);
}

py::object ToPython(const Variant& v) {
    switch (v.kind()) {
        case Variant::Kind::Null:
            return py::none();
        case Variant::Kind::Int:
            return py::int_(v.int_value());
        case Variant::Kind::Float:
            return py::float_(v.float_value());
        case Variant::Kind::Date:
            return DateTimeObject(v.float_value());
        case Variant::Kind::String:
            return TextObject(v.text_value());
        case Variant::Kind::Blob:
            return py::bytes(v.text_value());
    }
    return py::none();
}

std::optional<TDateTime> DateTimeValue(py::handle value) {
    PyObject* o = value.ptr();
    if (PyDateTime_Check(o))
        return EncodeDateTime({PyDateTime_GET_YEAR(o), PyDateTime_GET_MONTH(o),
                               PyDateTime_GET_DAY(o), PyDateTime_DATE_GET_HOUR(o),
                               PyDateTime_DATE_GET_MINUTE(o), PyDateTime_DATE_GET_SECOND(o),
                               PyDateTime_DATE_GET_MICROSECOND(o)});
    if (PyDate_Check(o))
        return EncodeDateTime(
            {PyDateTime_GET_YEAR(o), PyDateTime_GET_MONTH(o), PyDateTime_GET_DAY(o)});
    return std::nullopt;
}

void BindParam(TParam& param, py::handle value) {
    if (value.is_none()) {
        param.Clear();
    } else if (PyBool_Check(value.ptr())) {
        param.SetAsInteger(value.ptr() == Py_True ? 1 : 0);
    } else if (PyLong_Check(value.ptr())) {
        const long long n = PyLong_AsLongLong(value.ptr());
        if (n == -1 && PyErr_Occurred()) throw py::error_already_set();
        param.SetAsLargeInt(n);
    } else if (PyFloat_Check(value.ptr())) {
        param.SetAsFloat(PyFloat_AS_DOUBLE(value.ptr()));
    } else if (PyUnicode_Check(value.ptr())) {
        param.SetAsString(value.cast<std::string>());
    } else if (PyBytes_Check(value.ptr()) || PyByteArray_Check(value.ptr()) ||
               PyMemoryView_Check(value.ptr())) {
        param.SetAsBlob(py::bytes(py::reinterpret_borrow<py::object>(value)).cast<std::string>());
    } else if (PyDate_Check(value.ptr())) {
        param.SetAsDateTime(*DateTimeValue(value));
    } else if (IsInstance(value, g_np_bool)) {
        param.SetAsInteger(PyObject_IsTrue(value.ptr()) ? 1 : 0);
    } else if (IsInstance(value, g_np_integer)) {
        PyObject* n = PyNumber_Index(value.ptr());
        if (!n) throw py::error_already_set();
        BindParam(param, py::reinterpret_steal<py::object>(n));
    } else if (IsInstance(value, g_np_floating)) {
        const double x = PyFloat_AsDouble(value.ptr());
        if (x == -1.0 && PyErr_Occurred()) throw py::error_already_set();
        param.SetAsFloat(x);
    } else {
        throw py::type_error("parameter :" + param.Name() + ": a " +
                             std::string(py::str(value.get_type().attr("__name__"))) +
                             " cannot be bound (None, bool, int, float, str, bytes, datetime, "
                             "date or a numpy number)");
    }
}

}  // namespace quantora::python
