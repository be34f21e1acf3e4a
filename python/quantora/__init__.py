"""Read a Quantora lab database: spectra as numpy arrays with their energy calibration, peaks,
efficiencies, nuclide lines, and any SQL.

The work is done by the compiled part, quantora._quantora; this file checks that it can load
and says in one line what is missing when it cannot.
"""
import importlib.machinery as _machinery
import os as _os
import sys as _sys

try:
    import numpy as _numpy  # noqa: F401  (the compiled part is built on numpy's C API)
except ImportError as _e:
    raise ImportError(f"quantora needs numpy, which {_sys.executable} cannot import ({_e}); "
                      f"install numpy (Debian: python3-numpy)") from None

try:
    from ._quantora import *  # noqa: F401,F403
    from ._quantora import __version__  # noqa: F401
except ModuleNotFoundError as _e:
    if _e.name != __name__ + "._quantora":
        raise
    _here = _os.path.dirname(__file__)
    _built = sorted(f for f in _os.listdir(_here) if f.startswith("_quantora."))
    raise ImportError(
        f"quantora's compiled part {', '.join(_built) or '_quantora'} is not for this Python "
        f"({_sys.version.split()[0]}, which loads _quantora{_machinery.EXTENSION_SUFFIXES[0]}); "
        f"build it with this interpreter") from None

from . import _quantora

# The classes and exceptions name this package as theirs (repr, pickle, help).
for _name in _quantora.__all__:
    _obj = getattr(_quantora, _name)
    if isinstance(_obj, type):
        _obj.__module__ = __name__
__all__ = list(_quantora.__all__)
