"""Builds aztec_reader._core with CMake (CMakeLists.txt here, the decoding core from the parent
folder), offline: pybind11, numpy and the stb headers come from the system."""

import os
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

HERE = Path(__file__).resolve().parent


class CMakeExtension(Extension):
    def __init__(self, name: str) -> None:
        super().__init__(name, sources=[])


class CMakeBuild(build_ext):
    def build_extension(self, ext: Extension) -> None:
        target = Path(self.get_ext_fullpath(ext.name)).resolve()
        build_dir = Path(self.build_temp).resolve() / "cmake"
        config = os.environ.get("AZTEC_PY_BUILD_TYPE", "Release")
        args = [
            f"-DCMAKE_BUILD_TYPE={config}",
            f"-DCMAKE_LIBRARY_OUTPUT_DIRECTORY={target.parent}",
            f"-DPython_EXECUTABLE={sys.executable}",
        ]
        try:
            import pybind11

            args.append(f"-Dpybind11_DIR={pybind11.get_cmake_dir()}")
        except ImportError:
            pass  # CMake finds the system's pybind11 (pybind11-dev) by itself
        generator = ["-G", "Ninja"] if _has("ninja") else []
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", str(os.cpu_count() or 1))
        subprocess.run(["cmake", "-S", str(HERE), "-B", str(build_dir), *generator, *args], check=True)
        subprocess.run(["cmake", "--build", str(build_dir), "--target", "_core", "-j", jobs], check=True)


def _has(program: str) -> bool:
    return any(
        os.access(os.path.join(d, program), os.X_OK) for d in os.environ.get("PATH", "").split(os.pathsep) if d
    )


setup(ext_modules=[CMakeExtension("aztec_reader._core")], cmdclass={"build_ext": CMakeBuild})
