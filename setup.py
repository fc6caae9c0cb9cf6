"""Builds the extensions kelmar._core and naro._core with the project's CMake tree.

CMake assembles both packages (Python files, stubs, data files, extensions) in <build>/python;
this copies them into the wheel. KELMAR_BUILD_DIR reuses an existing build tree;
KELMAR_CMAKE_ARGS adds configure arguments (default: a Release build without the tests).
"""
import os
import pathlib
import shlex
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = pathlib.Path(__file__).resolve().parent


class CMakeBuild(build_ext):
    def run(self):
        build = pathlib.Path(os.environ.get("KELMAR_BUILD_DIR") or (pathlib.Path(self.build_temp) / "cmake"))
        build = build if build.is_absolute() else ROOT / build
        args = shlex.split(os.environ.get("KELMAR_CMAKE_ARGS", "-DCMAKE_BUILD_TYPE=Release -DKELMAR_BUILD_TESTS=OFF"))
        subprocess.check_call(["cmake", "-S", str(ROOT), "-B", str(build), "-DKELMAR_PYTHON=ON",
                               f"-DPYTHON_EXECUTABLE={sys.executable}", *args])
        jobs = str(os.cpu_count() or 1)
        subprocess.check_call(["cmake", "--build", str(build), "-j", jobs, "--target", "kelmar_python",
                               "naro_python", "python_package_files"])
        for package in ("kelmar", "naro"):
            dst = pathlib.Path(self.build_lib) / package
            shutil.copytree(build / "python" / package, dst, dirs_exist_ok=True)


setup(ext_modules=[Extension("kelmar._core", sources=[]), Extension("naro._core", sources=[])],
      cmdclass={"build_ext": CMakeBuild})
