#!/usr/bin/env python3
"""Runs one golden case of dravik-convert and compares everything the run leaves
with what the case expects: whole files, byte for byte.

    golden.py DRAVIK_CONVERT CASE_FOLDER [--update]

A case folder (tests/data/NAME/) holds
  args       the arguments of dravik-convert, one a line
  stdin      optional: text typed on a terminal, then the end of input;
             without it standard input is /dev/null
  work/      optional: files copied into the working folder before the run
  exit       the exit status
  stdout     standard output (a missing file: nothing)
  stderr     standard error (a missing file: nothing)
  expected/  the working folder after the run: exactly these files
  case.txt   what the case shows and what was checked by hand
and the case's inputs. In args, @CASE@ stands for the case folder and @EXAMPLES@
for examples/; the run sees private copies of both, so that cases running side
by side never open the same log.

The program runs in an empty working folder with private, empty settings and
cache folders, a time zone far from UTC and no locale variables. In everything
it leaves, the folders are written back as @CASE@, @EXAMPLES@, @WORK@ (the
working folder) and @PROGRAM@ (the program's folder), and the time stamps of the
conversion log as "YYYY-MM-DD  hh:mm:ss> ", before the comparison.

--update writes what the run left as the case's expected files, to be checked
by hand before they are committed.
"""

import difflib
import os
import pty
import re
import shutil
import subprocess
import sys
import tempfile

EXAMPLES = os.path.realpath(os.path.join(os.path.dirname(__file__), "..", "..", "examples"))
STAMP = re.compile(rb"\d{4}-\d\d-\d\d  \d\d:\d\d:\d\d> ")


def read(path, default=b""):
    try:
        with open(path, "rb") as f:
            return f.read()
    except FileNotFoundError:
        return default


def files_under(top):
    found = {}
    for folder, _, names in os.walk(top):
        for name in names:
            path = os.path.join(folder, name)
            found[os.path.relpath(path, top)] = read(path)
    return found


def copy_inputs(case, root):
    """Copies the examples, the case folder and the neighbours its args name
    into `root`, and returns the copies of the case and of the examples: a
    conversion holds its log file exclusively, so cases running side by side
    must never open the same log."""
    examples = shutil.copytree(EXAMPLES, os.path.join(root, "examples"), symlinks=True)
    cases = os.path.join(root, "cases")
    names = {os.path.basename(case)}
    names.update(re.findall(r"@CASE@/\.\./([^/\n]+)", read(os.path.join(case, "args")).decode()))
    for name in names:
        source = os.path.join(os.path.dirname(case), name)
        if os.path.isdir(source):
            shutil.copytree(source, os.path.join(cases, name), symlinks=True)
    return os.path.join(cases, os.path.basename(case)), examples


def run(program, case, examples, work):
    """Runs the case in `work`; returns the exit status, stdout and stderr."""
    args = read(os.path.join(case, "args")).decode().split("\n")
    if args and args[-1] == "":
        args.pop()
    args = [a.replace("@CASE@", case).replace("@EXAMPLES@", examples) for a in args]
    if os.path.isdir(os.path.join(case, "work")):
        shutil.copytree(os.path.join(case, "work"), work, dirs_exist_ok=True)
    root = os.path.dirname(work)
    env = {k: v for k, v in os.environ.items() if not k.startswith("LC_") and k != "LANG"}
    env.update(XDG_CONFIG_HOME=os.path.join(root, "config"),
               XDG_CACHE_HOME=os.path.join(root, "cache"), HOME=os.path.join(root, "home"),
               TZ="XST-9:30")
    typed = read(os.path.join(case, "stdin"), None)
    master = None
    if typed is None:
        stdin = subprocess.DEVNULL
    else:
        master, stdin = pty.openpty()
        os.write(master, typed + b"\x04")  # then the end of input: a further question never waits
    with open(os.path.join(root, "stdout"), "wb") as out, \
            open(os.path.join(root, "stderr"), "wb") as err:
        status = subprocess.run([program] + args, cwd=work, env=env, stdin=stdin, stdout=out,
                                stderr=err, timeout=300).returncode
    if master is not None:
        os.close(stdin)
        os.close(master)
    return status, read(os.path.join(root, "stdout")), read(os.path.join(root, "stderr"))


def masker(case, examples, work, program):
    # A case may name the inputs of a neighbour (@CASE@/../other/data.raw).
    places = [(case, "@CASE@"), (os.path.dirname(case), "@CASE@/.."), (examples, "@EXAMPLES@"),
              (work, "@WORK@"), (os.path.dirname(program), "@PROGRAM@")]
    places.sort(key=lambda p: -len(p[0]))  # a folder inside another is replaced first

    def mask(data):
        for path, name in places:
            data = data.replace(os.fsencode(path), name.encode())
        return STAMP.sub(b"YYYY-MM-DD  hh:mm:ss> ", data)
    return mask


def shown(line):
    return "".join(c if c.isprintable() else repr(c)[1:-1] for c in line) + "\n"


def diff(name, expected, actual):
    a = expected.decode("latin-1").splitlines(keepends=True)
    b = actual.decode("latin-1").splitlines(keepends=True)
    lines = [shown(l.rstrip("\n")) if not l.startswith(("---", "+++", "@@")) else l
             for l in difflib.unified_diff(a, b, name + " (expected)", name + " (this run)")]
    if len(lines) > 200:
        lines = lines[:200] + ["... %d more lines\n" % (len(lines) - 200)]
    return "".join(lines)


def main():
    program, case = os.path.realpath(sys.argv[1]), os.path.realpath(sys.argv[2])
    root = tempfile.mkdtemp(prefix="dravik-golden-")
    work = os.path.join(root, "work")
    os.mkdir(work)
    try:
        inputs, examples = copy_inputs(case, root)
        status, out, err = run(program, inputs, examples, work)
        mask = masker(inputs, examples, work, program)
        got = {"exit": b"%d\n" % status, "stdout": mask(out), "stderr": mask(err)}
        for name, data in files_under(work).items():
            got[os.path.join("expected", name)] = mask(data)
    finally:
        shutil.rmtree(root)

    if "--update" in sys.argv[3:]:
        shutil.rmtree(os.path.join(case, "expected"), ignore_errors=True)
        for name in ("stdout", "stderr"):
            if not got[name]:
                del got[name]
                if os.path.exists(os.path.join(case, name)):
                    os.remove(os.path.join(case, name))
        for name, data in got.items():
            os.makedirs(os.path.dirname(os.path.join(case, name)), exist_ok=True)
            with open(os.path.join(case, name), "wb") as f:
                f.write(data)
        return 0

    expected = {name: read(os.path.join(case, name)) for name in ("exit", "stdout", "stderr")}
    for name, data in files_under(os.path.join(case, "expected")).items():
        expected[os.path.join("expected", name)] = data
    failures = []
    for name in sorted(set(expected) | set(got)):
        if name not in got:
            failures.append("%s: not written by the run\n" % name)
        elif name not in expected:
            failures.append("%s: written by the run, not expected\n" % name)
        elif got[name] != expected[name]:
            failures.append(diff(name, expected[name], got[name]))
    sys.stdout.write("".join(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
