"""Builds vantrel._vantrel, the C core of the vantrel package.

The extension compiles the format's reader (vantrel_reader.h) and the
library's builder into itself: no installed libvantrel is needed.  Which
files those are, and the C++ standard and flags the builder compiles with,
come from lib/sources.txt, the list lib/CMakeLists.txt reads.  In a clone
they are taken from ../lib; an sdist carries copies of them and of the list
in csrc/, with the version they were made with.

Built against the limited API of Python 3.11 (abi3): one wheel serves 3.11
and every later version.  VANTREL_WERROR=1 in the environment turns
warnings into errors, as the test stage builds it.
"""
import os
import re
import shutil

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext
from setuptools.command.sdist import sdist

HERE = os.path.dirname(os.path.abspath(__file__))
TREE_LIB = os.path.join(HERE, "..", "lib")
CARRIED = os.path.join(HERE, "csrc")
SOURCE_LIST = "sources.txt"
LIMITED_API = "0x030B0000"  # 3.11


def in_clone():
    return os.path.exists(os.path.join(TREE_LIB, "vantrel_reader.h"))


def lib_dir():
    if in_clone():
        return TREE_LIB
    if not os.path.exists(os.path.join(CARRIED, "VERSION")):
        raise SystemExit("setup.py: the library's sources are neither in ../lib (a clone of vantrel) "
                         "nor in csrc/ (an sdist)")
    return CARRIED


def lib_list():
    """lib/sources.txt as {key: [words]}: the library's sources, headers,
    C++ standard and flags, as CMake reads them."""
    found = {}
    with open(os.path.join(lib_dir(), SOURCE_LIST), encoding="utf-8") as f:
        for line in f:
            key, colon, words = line.partition(":")
            if colon and re.fullmatch(r"[a-z_]+", key):
                found[key] = words.split()
    for key in ("sources", "headers", "cxx_standard", "cxx_flags", "msvc_cxx_flags"):
        if key not in found:
            raise SystemExit(f"setup.py: no '{key}:' line in {SOURCE_LIST}")
    return found


def lib_files():
    """Every file of lib/ the build stages, and the sdist carries."""
    listed = lib_list()
    return listed["headers"] + listed["sources"] + ["vantrel_version.h.in", SOURCE_LIST]


def project_version():
    """The one version: project(VERSION ...) of the top CMakeLists.txt, or
    in an sdist the copy made from it (csrc/VERSION)."""
    if in_clone():
        with open(os.path.join(HERE, "..", "CMakeLists.txt"), encoding="utf-8") as f:
            found = re.search(r"project\(\s*vantrel\s+VERSION\s+(\d+\.\d+\.\d+)", f.read())
        if found is None:
            raise SystemExit("setup.py: no project(vantrel VERSION x.y.z) in ../CMakeLists.txt")
        return found.group(1)
    with open(os.path.join(lib_dir(), "VERSION"), encoding="utf-8") as f:
        return f.read().strip()


def configure_version_header(template, target, version):
    """vantrel_version.h as CMake's configure_file writes it."""
    major, minor, patch = version.split(".")
    with open(template, encoding="utf-8") as f:
        text = f.read()
    for name, value in [("PROJECT_VERSION_MAJOR", major), ("PROJECT_VERSION_MINOR", minor),
                        ("PROJECT_VERSION_PATCH", patch), ("PROJECT_VERSION", version)]:
        text = text.replace(f"@{name}@", value)
    with open(target, "w", encoding="utf-8") as f:
        f.write(text)


class BuildExt(build_ext):
    """Stages the library's sources in the build folder and compiles the C++
    ones with their own flags (no exceptions, no RTTI, as lib/ builds them);
    then the extension's C files, linked with them."""

    def flags(self, listed):
        werror = os.environ.get("VANTREL_WERROR") == "1"
        standard = listed["cxx_standard"][0]
        if self.compiler.compiler_type == "msvc":
            c, cxx = ["/W3"], [f"/std:c++{standard}"] + listed["msvc_cxx_flags"] + ["/W3"]
            return (c + ["/WX"], cxx + ["/WX"]) if werror else (c, cxx)
        warnings = ["-Wall", "-Wextra", "-Wpedantic"] + (["-Werror"] if werror else [])
        hidden = ["-fvisibility=hidden"]  # only PyInit__vantrel is exported
        return (["-std=c11"] + warnings + hidden,
                [f"-std=c++{standard}"] + listed["cxx_flags"] + warnings + hidden)

    def build_extension(self, ext):
        staging = os.path.join(self.build_temp, "vantrel-lib")
        os.makedirs(staging, exist_ok=True)
        for name in lib_files():
            shutil.copyfile(os.path.join(lib_dir(), name), os.path.join(staging, name))
        configure_version_header(os.path.join(staging, "vantrel_version.h.in"),
                                 os.path.join(staging, "vantrel_version.h"), project_version())
        listed = lib_list()
        c_flags, cxx_flags = self.flags(listed)
        objects = self.compiler.compile([os.path.join(staging, name) for name in listed["sources"]],
                                        include_dirs=[staging],  # objects beside the staged sources
                                        extra_postargs=cxx_flags, debug=self.debug)
        ext.extra_objects = objects
        ext.include_dirs = [staging]
        ext.extra_compile_args = c_flags
        super().build_extension(ext)


class Sdist(sdist):
    """Carries the library's sources, their list and the version into the
    sdist, which then builds on its own."""

    def make_release_tree(self, base_dir, files):
        super().make_release_tree(base_dir, files)
        carried = os.path.join(base_dir, "csrc")
        os.makedirs(carried, exist_ok=True)
        for name in lib_files():
            shutil.copyfile(os.path.join(lib_dir(), name), os.path.join(carried, name))
        with open(os.path.join(carried, "VERSION"), "w", encoding="utf-8") as f:
            f.write(project_version() + "\n")


setup(
    version=project_version(),
    ext_modules=[Extension(
        "vantrel._vantrel",
        sources=sorted(os.path.join("ext", name) for name in os.listdir(os.path.join(HERE, "ext"))
                       if name.endswith(".c")),
        define_macros=[("Py_LIMITED_API", LIMITED_API)],
        py_limited_api=True,
    )],
    cmdclass={"build_ext": BuildExt, "sdist": Sdist},
    options={"bdist_wheel": {"py_limited_api": "cp311"}},
)
