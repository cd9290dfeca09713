"""The source folders follow the story of a run, and their includes run one
way: run wires everything together; records write down what the engine did;
the engine changes what the plan says; the plan reads the installed product;
common holds what every room needs. A source file may include its own folder
and the folders its own folder may include, nothing else. The C++ sources are
also kept in the checked-in clang-format style."""
import os
import re
import shutil
import subprocess
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SRC = os.path.join(ROOT, "src")

# folder -> the folders its files may include (besides its own)
ALLOWED = {
    "common": set(),
    "product": {"common"},
    "plan": {"product", "common"},
    "engine": {"plan", "product", "common"},
    "records": {"engine", "plan", "product", "common"},
    "run": {"records", "engine", "plan", "product", "common"},
}

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"/]+)/', re.MULTILINE)


def wrong_includes(root):
    """(file, included folder) for every include that goes the wrong way, and
    (folder, None) for a source folder the table does not know."""
    faults = []
    for folder in sorted(os.listdir(root)):
        path = os.path.join(root, folder)
        if not os.path.isdir(path):
            continue
        if folder not in ALLOWED:
            faults.append((folder, None))
            continue
        for name in sorted(os.listdir(path)):
            with open(os.path.join(path, name), encoding="utf-8") as f:
                for included in INCLUDE.findall(f.read()):
                    if included != folder and included not in ALLOWED[folder]:
                        faults.append((f"{folder}/{name}", included))
    return faults


def cxx_sources():
    for base in ("src", "tests", "tools"):
        for folder, _, files in os.walk(os.path.join(ROOT, base)):
            for name in files:
                if name.endswith((".cpp", ".h")):
                    yield os.path.join(folder, name)


class SourceLayout(unittest.TestCase):

    def test_includes_run_one_way(self):
        self.assertEqual([], wrong_includes(SRC))

    def test_the_check_catches_a_wrong_include(self):
        import tempfile
        with tempfile.TemporaryDirectory() as root:
            for folder, text in (("engine", '#include "records/hooks.h"\n'), ("records", '#include "engine/x.h"\n'),
                                 ("extra", "")):
                os.makedirs(os.path.join(root, folder))
                with open(os.path.join(root, folder, "a.cpp"), "w") as f:
                    f.write(text)
            self.assertEqual([("engine/a.cpp", "records"), ("extra", None)], wrong_includes(root))

    def test_sources_are_formatted(self):
        tool = shutil.which("clang-format")
        self.assertIsNotNone(tool, "clang-format is missing: scripts/setup.sh installs it")
        files = sorted(cxx_sources())
        result = subprocess.run([tool, "--dry-run", "-Werror", "--style=file"] + files, cwd=ROOT,
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        unformatted = sorted({line.split(":")[0] for line in result.stdout.splitlines() if ": error:" in line})
        self.assertEqual([], [os.path.relpath(p, ROOT) for p in unformatted],
                         "run clang-format -i on these files")


if __name__ == "__main__":
    unittest.main(verbosity=2)
