"""The README's Python examples run and give what the README shows: the
reading example on a blob vantrel-comp writes, the fault it quotes, the
building example's blob as vantrel-dump lists it, and the test bench that
reads the first blob by the names of its schema."""
import contextlib
import io
import os
import re
import shutil
import subprocess


import vantrel
from conftest import program

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")


def blocks():
    """The fenced blocks of the README's Python section, as (language, text)."""
    with open(os.path.join(ROOT, "README.md"), encoding="utf-8") as f:
        section = f.read().split("\n## Python\n", 1)[1].split("\n## ", 1)[0]
    return re.findall(r"```(\w*)\n(.*?)```", section, flags=re.S)


def run(code, folder, **names):
    out = io.StringIO()
    cwd = os.getcwd()
    os.chdir(folder)
    try:
        with contextlib.redirect_stdout(out):
            exec(compile(code, "README.md", "exec"), dict(names))
    finally:
        os.chdir(cwd)
    return out.getvalue()


def test_readme_examples(tmp_path, comp):
    found = blocks()
    python = [i for i, (language, _) in enumerate(found) if language == "python"]
    assert len(python) == 4, "reading, fault, building and schema examples"
    reading, fault, building, by_name = (found[i][1] for i in python)
    # Where the README's first command writes it, run from the clone's top.
    (tmp_path / "build").mkdir()
    (tmp_path / "examples").mkdir()
    shutil.copyfile(os.path.join(ROOT, "examples", "device-settings.schema"),
                    tmp_path / "examples" / "device-settings.schema")
    subprocess.run([comp, "-o", tmp_path / "build" / "device-settings.dat",
                    os.path.join(ROOT, "examples", "device-settings.txt")], check=True)
    assert run(reading, tmp_path) == found[python[0] + 1][1]
    assert len(reading.strip().splitlines()) <= 10
    assert run(by_name, tmp_path) == found[python[3] + 1][1]

    run(building, tmp_path)
    shown = found[python[2] + 1][1]
    command, listing = shown.split("\n", 1)
    assert command == "$ vantrel-dump unit.dat"
    listed = subprocess.run([program("VANTREL_DUMP"), "unit.dat"], cwd=tmp_path, capture_output=True, text=True)
    assert listed.stdout == listing

    printed = run(fault, tmp_path)
    assert printed.strip() == re.findall(r"# (.*)", fault)[-1].strip()  # the print line's comment
