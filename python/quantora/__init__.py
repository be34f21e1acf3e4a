"""Read a Quantora lab database: spectra as numpy arrays with their energy calibration, peaks,
efficiencies, nuclide lines, and any SQL.

The work is done by the compiled part, quantora._quantora; this file checks that it can load
and says in one line what is missing when it cannot. It stays readable by Python 2 (no
f-strings, no raise ... from) so that an old interpreter gets that line too.
"""
import os as _os
import sys as _sys


def _missing(message):
    """An ImportError that hides the error it replaces: its message says it all."""
    error = ImportError(message)
    error.__cause__, error.__suppress_context__ = None, True
    return error


if _sys.version_info < (3, 6):
    raise _missing("quantora needs Python 3, not %s" % _sys.version.split()[0])

try:
    import numpy as _numpy  # noqa: F401  (the compiled part is built on numpy's C API)
except ImportError as _e:
    raise _missing("quantora needs numpy, which %s cannot import (%s); install numpy "
                   "(Debian: python3-numpy)" % (_sys.executable, _e))

try:
    from ._quantora import *  # noqa: F401,F403
    from ._quantora import __version__  # noqa: F401
except ModuleNotFoundError as _e:
    if _e.name != __name__ + "._quantora":
        raise
    import importlib.machinery as _machinery
    _built = sorted(f for f in _os.listdir(_os.path.dirname(__file__)) if f.startswith("_quantora."))
    raise _missing(
        "quantora's compiled part %s is not for this Python (%s, which loads _quantora%s); build "
        "it with this interpreter" % (", ".join(_built) or "_quantora", _sys.version.split()[0],
                                      _machinery.EXTENSION_SUFFIXES[0]))

from . import _quantora  # noqa: E402

# The classes and exceptions name this package as theirs (repr, pickle, help).
for _name in _quantora.__all__:
    _obj = getattr(_quantora, _name)
    if isinstance(_obj, type):
        _obj.__module__ = __name__
__all__ = list(_quantora.__all__)
