#!/usr/bin/env python3
"""Seeded one-operator mutations of the engine, to see what the tests catch.

Copies the working tree (the files git knows, as they are now) into a work
folder, builds it once, then for each mutant changes one operator in one
engine source (every folder of src/ but the two front ends), rebuilds, and runs
the tests (all but the `large` label). A mutant that fails to build is
replaced by the next site in the seeded order; one that makes a test fail (or
time out) is killed, one that passes every test survived.

    scripts/mutate.py [--count 40] [--seed 1] [--work build/mutation] [--jobs 2]

The report (one line per mutant, then the kill rate) is printed and written to
WORK/report-SEED.txt. The working tree is never touched.
"""

import argparse
import os
import random
import re
import shutil
import subprocess
import sys
import time

# Each operator: a pattern for the site and what it becomes. The patterns keep
# away from their longer relatives (`<<`, `->`, `>>=`, `<=>`).
OPERATORS = [
    ("<=", r"(?<![<>=!])<=(?![=>])", "<"),
    ("<", r"(?<![<>=!-])<(?![<=])", "<="),
    (">=", r"(?<![<>=!-])>=(?!=)", ">"),
    (">", r"(?<![<>=!-])>(?![>=])", ">="),
    ("==", r"(?<![<>=!])==(?!=)", "!="),
    ("!=", r"!=", "=="),
    ("&&", r"&&", "||"),
    ("||", r"\|\|", "&&"),
    ("+ 1", r"\+ 1\b(?!\.)", "+ 2"),
    ("- 1", r"(?<![-(=,] )- 1\b(?!\.)", "- 2"),
    ("+=", r"\+=", "-="),
    ("-=", r"-=", "+="),
    ("true", r"\btrue\b", "false"),
    ("false", r"\bfalse\b", "true"),
]

FRONT_ENDS = ("src/cli/", "src/ui/")


def engine_sources(tree):
    out = subprocess.run(["git", "ls-files", "src"], cwd=tree, check=True,
                         capture_output=True, text=True).stdout.split()
    return sorted(f for f in out if f.endswith(".cpp") and not f.startswith(FRONT_ENDS)
                  and "/qt/" not in f)


def code_part(line):
    """The line with string and character literals and comments blanked out,
    so that an operator inside them is never a site."""
    out, i, n = [], 0, len(line)
    while i < n:
        c = line[i]
        if line.startswith("//", i):
            break
        if c in "\"'":
            j = i + 1
            while j < n and line[j] != c:
                j += 2 if line[j] == "\\" else 1
            out.append(" " * (min(j, n - 1) - i + 1))
            i = j + 1
            continue
        out.append(c)
        i += 1
    return "".join(out).ljust(n)


def sites(tree):
    found = []
    for path in engine_sources(tree):
        with open(os.path.join(tree, path), encoding="utf-8") as f:
            lines = f.read().split("\n")
        in_block = False
        for number, line in enumerate(lines):
            stripped = line.strip()
            if in_block:
                if "*/" in stripped:
                    in_block = False
                continue
            if stripped.startswith("/*"):
                in_block = "*/" not in stripped
                continue
            if stripped.startswith("#"):
                continue
            code = code_part(line)
            for name, pattern, replacement in OPERATORS:
                for m in re.finditer(pattern, code):
                    found.append((path, number, m.start(), m.end(), name, replacement))
    return found


def run(cmd, cwd, timeout, log):
    try:
        r = subprocess.run(cmd, cwd=cwd, stdout=log, stderr=subprocess.STDOUT, timeout=timeout)
        return r.returncode
    except subprocess.TimeoutExpired:
        return "timeout"


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--count", type=int, default=40)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--work", default="build/mutation")
    ap.add_argument("--jobs", type=int, default=os.cpu_count() or 2)
    ap.add_argument("--test-timeout", type=int, default=120)
    args = ap.parse_args()

    top = subprocess.run(["git", "rev-parse", "--show-toplevel"], check=True,
                         capture_output=True, text=True).stdout.strip()
    work = os.path.abspath(os.path.join(top, args.work))
    tree, build = os.path.join(work, "src"), os.path.join(work, "build")
    os.makedirs(work, exist_ok=True)

    # What is measured: the commit and whether the tree had changes, read now,
    # before the copy (the run takes long; the checkout may move meanwhile).
    commit = subprocess.run(["git", "rev-parse", "--short", "HEAD"], cwd=top,
                            capture_output=True, text=True).stdout.strip()
    dirty = bool(subprocess.run(["git", "status", "--porcelain"], cwd=top, capture_output=True,
                                text=True).stdout.strip())

    # A fresh copy of the tree; the build folder is kept between runs.
    if os.path.isdir(tree):
        shutil.rmtree(tree)
    files = subprocess.run(["git", "ls-files", "-z", "--cached", "--others", "--exclude-standard"],
                           cwd=top, check=True, capture_output=True).stdout.split(b"\0")
    for rel in (f.decode() for f in files if f):
        src = os.path.join(top, rel)
        if not os.path.isfile(src):
            continue
        dst = os.path.join(tree, rel)
        os.makedirs(os.path.dirname(dst), exist_ok=True)
        shutil.copy2(src, dst)
    subprocess.run(["git", "init", "-q"], cwd=tree, check=True)
    subprocess.run(["git", "add", "-A"], cwd=tree, check=True)

    log_path = os.path.join(work, "log-%d.txt" % args.seed)
    log = open(log_path, "w")
    configure = ["cmake", "-S", tree, "-B", build, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release",
                 "-DDRAVIK_BUILD_BENCHMARKS=OFF"]
    build_cmd = ["cmake", "--build", build, "-j", str(args.jobs)]
    test_cmd = ["ctest", "--test-dir", build, "-LE", "large", "-j", str(args.jobs),
                "--timeout", str(args.test_timeout), "--stop-on-failure"]
    if run(configure, tree, None, log) != 0 or run(build_cmd, tree, None, log) != 0:
        sys.exit("The unmutated tree does not build: see " + log_path)
    if run(test_cmd, tree, None, log) != 0:
        sys.exit("The unmutated tree fails its tests: see " + log_path)

    all_sites = sites(tree)
    random.Random(args.seed).shuffle(all_sites)
    results, stillborn = [], 0
    for path, number, start, end, name, replacement in all_sites:
        if len(results) >= args.count:
            break
        full = os.path.join(tree, path)
        with open(full, encoding="utf-8") as f:
            original = f.read()
        lines = original.split("\n")
        line = lines[number]
        lines[number] = line[:start] + replacement + line[end:]
        with open(full, "w", encoding="utf-8") as f:
            f.write("\n".join(lines))
        began = time.time()
        try:
            log.write("\n=== %s:%d %s -> %s\n" % (path, number + 1, name, replacement))
            log.flush()
            if run(build_cmd, tree, 1800, log) != 0:
                stillborn += 1
                continue
            rc = run(test_cmd, tree, 3600, log)
            verdict = "survived" if rc == 0 else "killed"
            row = "%-8s %s:%d  %s -> %s   | %s" % (verdict, path, number + 1, name, replacement,
                                                  line.strip()[:90])
            results.append((verdict, row))
            print(row + "  (%.0f s)" % (time.time() - began), flush=True)
        finally:
            with open(full, "w", encoding="utf-8") as f:
                f.write(original)
    run(build_cmd, tree, None, log)

    killed = sum(1 for v, _ in results if v == "killed")
    summary = ("seed %d, commit %s%s: %d of %d mutants killed (%.1f%%); %d sites did not build; "
               "%d candidate sites in %d files"
               % (args.seed, commit, " + uncommitted changes" if dirty else "",
                  killed, len(results), 100.0 * killed / max(1, len(results)), stillborn,
                  len(all_sites), len(engine_sources(tree))))
    with open(os.path.join(work, "report-%d.txt" % args.seed), "w") as f:
        f.write("\n".join(r for _, r in results) + "\n" + summary + "\n")
    print(summary)


if __name__ == "__main__":
    main()
