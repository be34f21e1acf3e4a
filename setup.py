"""Builds the Python package quantora with the project's CMake: the compiled part
quantora._quantora is the CMake target quantora_python, linked self-contained (the library's
objects inside it), so the installed package needs no libquantoradb.

CMAKE_BUILD_PARALLEL_LEVEL sets the number of compile jobs (default: CMake's).
"""
import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = Path(__file__).resolve().parent


def project_version():
    """The version of CMakeLists.txt's project(), the one the module reports."""
    text = (ROOT / "CMakeLists.txt").read_text()
    match = re.search(r"project\(\s*\w+\s+VERSION\s+([\d.]+)", text)
    if not match:
        sys.exit("setup.py: no project(... VERSION x.y.z) in CMakeLists.txt")
    return match.group(1)


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        if not shutil.which("cmake"):
            sys.exit("setup.py: building quantora needs cmake (Debian: apt-get install cmake)")
        build = Path(self.build_temp).resolve() / "cmake"
        configure = ["cmake", "-S", str(ROOT), "-B", str(build), "-DCMAKE_BUILD_TYPE=Release",
                     f"-DPython3_EXECUTABLE={sys.executable}", "-DQUANTORA_BUILD_PYTHON=ON",
                     "-DQUANTORA_PYTHON_SELF_CONTAINED=ON", "-DQUANTORA_BUILD_TESTS=OFF",
                     "-DQUANTORA_BUILD_BENCH=OFF"]
        if shutil.which("ninja") and not (build / "CMakeCache.txt").exists():
            configure += ["-G", "Ninja"]
        subprocess.run(configure, check=True)
        subprocess.run(["cmake", "--build", str(build), "--target", "quantora_python"], check=True)
        built = next((build / "python" / "module" / "quantora").glob("_quantora*.so"), None)
        if built is None:
            sys.exit(f"setup.py: CMake built no _quantora module under {build}")
        target = Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built, target)


setup(
    version=project_version(),
    packages=["quantora"],
    package_dir={"": "python"},
    package_data={"quantora": ["py.typed", "*.pyi"]},
    ext_modules=[Extension("quantora._quantora", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    # Not build/: that is where CMake builds by hand go.
    options={"build": {"build_base": "build-python"}},
    zip_safe=False,
)
