"""Builds the velmorand package for pip with the project's CMake build.

    python3 -m pip install --no-build-isolation hosts/python

(without build isolation pip uses the setuptools installed, rather than fetching one). The
package folder of the wheel is an install of the project whose library folder is the package
folder itself: the extension, libVelmorandScript, libVelmorandCommon and the sample module sit
side by side, the extension's run path is $ORIGIN, and load_module finds the sample module
there. The build goes to <checkout>/build/pip.
"""

import os
import pathlib
import shutil
import subprocess
import sys

from setuptools import Distribution, setup
from setuptools.command.build_py import build_py

CHECKOUT = pathlib.Path(__file__).resolve().parents[2]
BUILD = CHECKOUT / "build" / "pip"


class PlatformDistribution(Distribution):
    """The wheel holds native code: it is for this platform and Python only."""

    def has_ext_modules(self) -> bool:
        return True


class BuildWithCMake(build_py):
    def run(self) -> None:
        super().run()
        cmake_build, stage = BUILD / "cmake", BUILD / "stage"
        subprocess.run(["cmake", "-S", str(CHECKOUT), "-B", str(cmake_build),
                        "-DCMAKE_BUILD_TYPE=Release", "-DVELMORAND_BUILD_PYTHON=ON",
                        "-DVELMORAND_BUILD_TESTS=OFF", f"-DPython3_EXECUTABLE={sys.executable}",
                        "-DCMAKE_INSTALL_LIBDIR=velmorand", "-DVELMORAND_PYTHON_INSTALL_DIR=.",
                        f"-DCMAKE_INSTALL_PREFIX={stage}"], check=True)
        jobs = str(os.cpu_count() or 1)
        for target in ("VelmorandPython", "VelmorandShapes", "preinstall"):
            subprocess.run(["cmake", "--build", str(cmake_build), "--target", target, "-j", jobs],
                           check=True)
        shutil.rmtree(stage, ignore_errors=True)
        subprocess.run(["cmake", "--install", str(cmake_build), "--component", "runtime"],
                       check=True)
        package = pathlib.Path(self.build_lib) / "velmorand"
        installed = list((stage / "velmorand").iterdir())
        # A wheel holds no symbolic links: each library once, under the soname the extension
        # asks for. The Lua host's library is no part of the Python package.
        link_targets = {item.resolve().name for item in installed if item.is_symlink()}
        for item in installed:
            if item.is_file() and item.name not in link_targets and \
                    not item.name.startswith("libVelmorandLua"):
                shutil.copyfile(item, package / item.name)


BUILD.mkdir(parents=True, exist_ok=True)
setup(packages=["velmorand"], distclass=PlatformDistribution, cmdclass={"build_py": BuildWithCMake},
      options={"build": {"build_base": str(BUILD / "setuptools")},
               "egg_info": {"egg_base": str(BUILD)}})
