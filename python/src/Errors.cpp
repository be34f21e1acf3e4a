// The exception classes and the one place that maps a C++ exception to one of them.
#include "python/src/Errors.h"

#include <array>

#include "quantora/base/Exception.h"
#include "quantora/base/Failures.h"
#include "quantora/dblayer/EDatabaseError.h"

namespace py = pybind11;

namespace quantora::python {
namespace {

struct ErrorClass {
    const char* name;
    const char* doc;
};

// The subclasses of DatabaseError, one per category of the layer's errors, in the order of the
// layer's category numbers (connection lost, busy, constraint, serialization, syntax, corrupt,
// input/output; Other raises DatabaseError itself).
constexpr std::array<ErrorClass, 7> kCategoryClasses{{
    {"ConnectionLostError", "The server cannot be reached or dropped the connection."},
    {"BusyError", "A lock held by another connection or process."},
    {"ConstraintError", "A key, NOT NULL, CHECK or foreign key constraint refused the change."},
    {"SerializationError", "A serialization failure or deadlock rolled the transaction back."},
    {"SQLSyntaxError", "The SQL is malformed or names an object that does not exist."},
    {"CorruptDataError", "The stored data or the file is damaged, or not a database at all."},
    {"DiskIOError", "The disk is full or an input/output operation failed."},
}};

PyObject* g_error = nullptr;
PyObject* g_database_error = nullptr;
PyObject* g_bad_file = nullptr;
PyObject* g_file_not_found = nullptr;
PyObject* g_key_not_found = nullptr;
PyObject* g_misuse = nullptr;
std::array<PyObject*, kCategoryClasses.size()> g_category{};

// A class of the module; `alsoBase` makes it one of Python's own kinds as well (ValueError, ...).
PyObject* NewClass(py::module_& m, const char* name, const char* doc, PyObject* base,
                   PyObject* alsoBase = nullptr) {
    const std::string qualified = std::string("quantora.") + name;
    py::object bases = alsoBase ? py::make_tuple(py::handle(base), py::handle(alsoBase))
                                : py::reinterpret_borrow<py::object>(base);
    PyObject* cls = PyErr_NewExceptionWithDoc(qualified.c_str(), doc, bases.ptr(), nullptr);
    if (!cls) throw py::error_already_set();
    m.add_object(name, py::handle(cls));  // the module keeps a reference for the process
    return cls;
}

// The Python class of a database-layer failure: its category's subclass, DatabaseError itself
// for Other.
PyObject* ClassFor(const EDatabaseError& e) {
    static_assert(static_cast<size_t>(DbErrorCategory::Other) == kCategoryClasses.size());
    const auto index = static_cast<size_t>(e.Category());
    return index < g_category.size() ? g_category[index] : g_database_error;
}

}  // namespace

void RegisterErrors(py::module_& m) {
    g_error =
        NewClass(m, "Error", "Any failure reported by the quantora library.", PyExc_Exception);
    g_database_error =
        NewClass(m, "DatabaseError", "A failure of the database or of a statement.", g_error);
    for (size_t i = 0; i < kCategoryClasses.size(); ++i)
        g_category[i] =
            NewClass(m, kCategoryClasses[i].name, kCategoryClasses[i].doc, g_database_error);
    g_bad_file = NewClass(m, "BadFileError", "A file whose content cannot be read as it should.",
                          g_error, PyExc_ValueError);
    g_file_not_found = NewClass(m, "FileMissingError", "A file that is not there.", g_error,
                                PyExc_FileNotFoundError);
    g_key_not_found = NewClass(m, "KeyMissingError", "No record or entry has the key asked for.",
                               g_error, PyExc_KeyError);
    g_misuse = NewClass(m, "MisuseError", "An argument out of its range, or a call out of place.",
                        g_error, PyExc_ValueError);

    py::register_exception_translator([](std::exception_ptr p) {
        try {
            if (p) std::rethrow_exception(p);
        } catch (const EDatabaseError& e) {
            PyErr_SetString(ClassFor(e), e.what());
        } catch (const BadFileError& e) {
            PyErr_SetString(g_bad_file, e.what());
        } catch (const NotFoundError& e) {
            PyErr_SetString(
                e.Missing() == NotFoundError::What::File ? g_file_not_found : g_key_not_found,
                e.what());
        } catch (const MisuseError& e) {
            PyErr_SetString(g_misuse, e.what());
        } catch (const Exception& e) {
            PyErr_SetString(g_error, e.what());
        } catch (const NotFound& e) {
            PyErr_SetString(PyExc_KeyError, e.what());
        } catch (const NoneApplies& e) {
            PyErr_SetString(PyExc_LookupError, e.what());
        }
    });
}

}  // namespace quantora::python
