#!/usr/bin/python3
"""A newcomer's first hour, from the README alone.

On a fresh clone of this repository: the README's first command (the first sh block of "Set-up on a
fresh machine"), then every fenced sh, r and python block of "Analysing the results", exactly as
printed, in order, in the clone's folder. Where a text block follows a code block, the code's output
(standard output and standard error together) must be that text. R blocks need Rscript, python blocks
pandas: where either is missing, its blocks are skipped with a message.

Usage: tests/readme/newcomer.py [--print] [REPOSITORY]
  --print  show what every block printed (to bring the README up to date), and compare nothing
Exit status: 0 when every example ran as printed, 1 on the first difference or failure.
"""

import os
import re
import shutil
import subprocess
import sys
import tempfile

FENCE = re.compile(r"^```(\w*)\n(.*?)^```\n", re.M | re.S)
RUNNERS = {"sh": ["bash", "-e"], "r": ["Rscript"]}  # python: the interpreter that has pandas


def Section(readme, title):
    """The text of one "## " section, with its subsections."""
    start = readme.index("\n## " + title + "\n")
    end = readme.find("\n## ", start + 1)
    return readme[start:end if end >= 0 else len(readme)]


def Blocks(text):
    """(language, code, expected output or None) for every fenced code block; a text block that
    follows a code block with only blank lines between them is that block's output."""
    found = [(m.group(1), m.group(2), m.start(), m.end()) for m in FENCE.finditer(text)]
    blocks = []
    for k, (language, code, _, end) in enumerate(found):
        if language == "text":
            continue
        expected = None
        if k + 1 < len(found) and found[k + 1][0] == "text" and not text[end:found[k + 1][2]].strip():
            expected = found[k + 1][1]
        blocks.append((language, code, expected))
    return blocks


def PandasPython():
    """A Python that imports pandas: this one, else Debian's."""
    for python in (sys.executable, "/usr/bin/python3"):
        if python and os.path.exists(python) and subprocess.call(
                [python, "-c", "import pandas"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL) == 0:
            return python
    return None


def Run(language, code, folder, python):
    """What the block printed, and its exit status."""
    with tempfile.NamedTemporaryFile("w", suffix="." + language, delete=False) as f:
        f.write(code)
    try:
        command = ([python] if language == "python" else RUNNERS[language]) + [f.name]
        done = subprocess.run(command, cwd=folder, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        return done.stdout, done.returncode
    finally:
        os.unlink(f.name)


def Difference(got, expected):
    got, expected = got.splitlines(), expected.splitlines()
    for k in range(max(len(got), len(expected))):
        a = got[k] if k < len(got) else "<none>"
        b = expected[k] if k < len(expected) else "<none>"
        if a != b:
            return "line %d:\n  printed  %s\n  README   %s" % (k + 1, a, b)
    return ""


def main():
    args = sys.argv[1:]
    show = "--print" in args
    args = [a for a in args if a != "--print"]
    repository = os.path.abspath(args[0] if args else os.path.join(os.path.dirname(__file__), "..", ".."))
    python = PandasPython()
    available = {"sh": True, "r": shutil.which("Rscript") is not None, "python": python is not None}
    missing = {"r": "Rscript (Debian r-base-core)", "python": "pandas (Debian python3-pandas)"}
    with tempfile.TemporaryDirectory() as scratch:
        clone = os.path.join(scratch, "telvo")
        subprocess.run(["git", "clone", "--quiet", repository, clone], check=True)
        readme = open(os.path.join(clone, "README.md"), encoding="utf-8").read()
        first = Blocks(Section(readme, "Set-up on a fresh machine"))[0]
        steps = [("the README's first command", first[0], first[1], None)]
        steps += [("a worked example of \"Analysing the results\"",) + b
                  for b in Blocks(Section(readme, "Analysing the results"))]
        for what, language, code, expected in steps:
            if not available.get(language, False):
                print("newcomer: skipped a %s block: %s is missing" % (language, missing.get(language, language)))
                continue
            printed, status = Run(language, code, clone, python)
            if show:
                print("```%s\n%s```\n```text\n%s```" % (language, code, printed))
                continue
            if status != 0:
                sys.exit("newcomer: %s failed (exit %d):\n%s\n%s" % (what, status, code, printed[-3000:]))
            if expected is not None and printed != expected:
                sys.exit("newcomer: %s printed other text than the README shows at %s\n%s" %
                         (what, Difference(printed, expected), code))
            print("newcomer: %s block ran as printed" % language)
    return 0


if __name__ == "__main__":
    sys.exit(main())
