"""The package as Python users meet it: its version, its stubs and docstrings against the
compiled module, and the one-line error of an interpreter without numpy."""
import ast
import inspect
import os
import re
import subprocess
import sys

import pytest
import quantora
from quantora import _quantora

STUBS = ast.parse(open(os.path.join(os.path.dirname(quantora.__file__), "_quantora.pyi")).read())
CLASSES = [c for c in _quantora.__all__ if isinstance(getattr(quantora, c), type)
           and not issubclass(getattr(quantora, c), Exception)]


def public(names):
    return {n for n in names if not n.startswith("_")}


def stub_class(name):
    return next(n for n in STUBS.body if isinstance(n, ast.ClassDef) and n.name == name)


def documentation(obj, name):
    """The docstring without the signature line pybind11 puts first."""
    doc = inspect.getdoc(obj) or ""
    return doc.split("\n", 1)[1].strip() if doc.startswith(name + "(") and "\n" in doc else (
        "" if doc.startswith(name + "(") else doc)


def signature_names(obj, name):
    """Parameter names of the signature pybind11 writes first in the docstring."""
    line = inspect.getdoc(obj).split("\n", 1)[0]
    params, depth, start, out = line[len(name) + 1:line.rindex(")")], 0, 0, []
    for i, ch in enumerate(params + ","):
        depth += ch in "[(" and 1 or ch in "])" and -1 or 0
        if ch == "," and depth == 0:
            out.append(params[start:i].split(":")[0].split("=")[0].strip())
            start = i + 1
    return [p for p in out if p and p not in ("self", "*")]


def test_version_is_the_projects():
    cmake = open(os.path.join(os.path.dirname(__file__), "../../CMakeLists.txt")).read()
    assert quantora.__version__ == re.search(r"project\(\w+ VERSION ([\d.]+)", cmake).group(1)


def test_stubs_name_what_the_module_has():
    stubbed = {n.name for n in STUBS.body if isinstance(n, (ast.ClassDef, ast.FunctionDef))}
    stubbed |= {n.target.id for n in STUBS.body if isinstance(n, ast.AnnAssign)}
    assert public(stubbed) == set(_quantora.__all__) == set(quantora.__all__)


@pytest.mark.parametrize("cls", CLASSES)
def test_class_stubs_and_docstrings_match_the_module(cls):
    members = {n.name: n for n in stub_class(cls).body if isinstance(n, ast.FunctionDef)}
    real = getattr(quantora, cls)
    assert public(members) == public(dir(real))
    assert documentation(real, cls)
    for name, node in members.items():
        assert hasattr(real, name), name
        if name.startswith("_"):
            continue
        attr = inspect.getattr_static(real, name)
        assert documentation(attr, name), f"{cls}.{name} has no docstring"
        if not isinstance(attr, property):
            stubbed = [a.arg for a in node.args.args + node.args.kwonlyargs if a.arg != "self"]
            assert signature_names(getattr(real, name), name) == stubbed, f"{cls}.{name}"


@pytest.mark.parametrize("name", sorted(public(_quantora.__all__) - set(CLASSES)))
def test_functions_and_exceptions_are_documented(name):
    assert documentation(getattr(quantora, name), name), name


@pytest.mark.parametrize("case", ["no numpy", "built for another Python"])
def test_an_unusable_environment_gets_one_line_naming_what_is_missing(tmp_path, case):
    if case == "no numpy":
        code, path, missing = "import sys; sys.modules['numpy'] = None; import quantora", None, "numpy"
    else:  # the package beside a compiled part this interpreter does not load
        (tmp_path / "quantora").mkdir()
        init = open(quantora.__file__).read()
        (tmp_path / "quantora" / "__init__.py").write_text(init)
        (tmp_path / "quantora" / "_quantora.cpython-39-x86_64-linux-gnu.so").write_bytes(b"")
        code, path, missing = "import quantora", str(tmp_path), "_quantora.cpython-39"
    env = dict(os.environ, PYTHONPATH=path or os.environ.get("PYTHONPATH", ""))
    run = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, env=env)
    last = run.stderr.strip().splitlines()[-1]
    assert run.returncode != 0 and last.startswith("ImportError: quantora") and missing in last, last
