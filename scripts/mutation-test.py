#!/usr/bin/env python3
"""Single-line mutation testing.

Each line of a mutants file (default: every scripts/mutants/*.tsv) names a file, a test
target and a search/replace pair (tab-separated; '#' starts a comment). Every mutation is
applied alone in a scratch copy of the tree, the test target is rebuilt and run, and the
result is printed: KILLED (a test failed, or hung past the time-out), SURVIVED (every test
passed) or BROKEN (no build).

  scripts/mutation-test.py [--mutants FILE ...] [--only SUBSTRING] [--scratch DIR]
                          [--timeout SECONDS]
"""

import argparse
import glob
import os
import shutil
import signal
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def read_mutants(path):
    mutants = []
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip("\n")
            if not line.strip() or line.lstrip().startswith("#"):
                continue
            fields = line.split("\t")
            if len(fields) != 4:
                sys.exit(f"{path}:{number}: want file, target, search, replace separated by tabs")
            mutants.append((number, *fields))
    return mutants


def run(cmd, cwd, quiet=True, timeout=None):
    """The exit status; a run past its time-out is killed with its children and counts as failed."""
    out = subprocess.DEVNULL if quiet else None
    child = subprocess.Popen(cmd, cwd=cwd, stdout=out, stderr=out, start_new_session=True)
    try:
        return child.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        os.killpg(child.pid, signal.SIGKILL)
        child.wait()
        return -signal.SIGKILL


def copy_tree(scratch):
    files = subprocess.check_output(["git", "ls-files", "-co", "--exclude-standard"],
                                    cwd=ROOT, text=True).split("\n")
    for name in filter(None, files):
        if name.startswith("build"):
            continue
        source = os.path.join(ROOT, name)
        if not os.path.isfile(source):
            continue
        target = os.path.join(scratch, name)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        if not os.path.exists(target) or open(source, "rb").read() != open(target, "rb").read():
            # A fresh time stamp: a copy keeping an older one than an object built meanwhile
            # would leave that object stale.
            shutil.copy(source, target)


def test_binary(build, target):
    for folder, _, names in os.walk(os.path.join(build, "tests")):
        if target in names:
            return os.path.join(folder, target)
    sys.exit(f"no test executable {target} under {build}/tests")


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--mutants", nargs="+",
                        default=sorted(glob.glob(os.path.join(ROOT, "scripts", "mutants", "*.tsv"))))
    parser.add_argument("--only", default="", help="run the mutants whose line contains this")
    # One scratch tree per checkout, so that two worktrees can run at once.
    parser.add_argument("--scratch",
                        default="/tmp/kavonet-mutants-" + os.path.basename(ROOT))
    parser.add_argument("--timeout", type=float, default=300,
                        help="seconds a test run may take before it counts as a hang")
    args = parser.parse_args()

    mutants = [(os.path.basename(f), *m) for f in args.mutants for m in read_mutants(f)]
    mutants = [m for m in mutants if args.only in "\t".join(m[2:])]
    os.makedirs(args.scratch, exist_ok=True)
    copy_tree(args.scratch)
    build = os.path.join(args.scratch, "build")
    launcher = ["-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"] if shutil.which("ccache") else []
    # Scratch trees of sibling checkouts share compiled objects through relative paths.
    os.environ.setdefault("CCACHE_BASEDIR", os.path.dirname(args.scratch))
    # Every option is set, so that a scratch tree configured by hand once cannot hide targets.
    options = ["-DKAVONET_QT=ON", "-DKAVONET_BENCH=OFF", "-DKAVONET_FUZZ=OFF", "-DKAVONET_SANITIZE=OFF"]
    if run(["cmake", "-S", ".", "-B", "build", "-G", "Ninja", *options, *launcher],
           args.scratch) != 0:
        sys.exit("configure failed")
    targets = sorted({m[3] for m in mutants})
    if run(["cmake", "--build", "build", "--target", *targets], args.scratch, quiet=False) != 0:
        sys.exit("the unmutated tree does not build")

    counts = {"KILLED": 0, "SURVIVED": 0, "BROKEN": 0}
    for tsv, number, path, target, search, replace in mutants:
        source = os.path.join(args.scratch, path)
        original = open(source, encoding="utf-8").read()
        if original.count(search) != 1:
            print(f"BROKEN   {tsv}:{number}: '{search}' occurs {original.count(search)} times in {path}")
            counts["BROKEN"] += 1
            continue
        open(source, "w", encoding="utf-8").write(original.replace(search, replace))
        try:
            if run(["cmake", "--build", "build", "--target", target], args.scratch) != 0:
                verdict = "BROKEN"
            else:
                # A mutant that makes a test hang is caught: ctest would fail it on its time-out.
                ok = run([test_binary(build, target), "--gtest_brief=1"], args.scratch,
                         timeout=args.timeout) == 0
                verdict = "SURVIVED" if ok else "KILLED"
        finally:
            open(source, "w", encoding="utf-8").write(original)
            os.utime(source)
        counts[verdict] += 1
        print(f"{verdict:8} {tsv}:{number}: {path}: {search.strip()} -> {replace.strip()}", flush=True)

    judged = counts["KILLED"] + counts["SURVIVED"]
    ratio = counts["KILLED"] / judged if judged else 0.0
    print(f"{counts['KILLED']} killed, {counts['SURVIVED']} survived, {counts['BROKEN']} broken; "
          f"kill ratio {ratio:.0%}")
    # Rebuild the restored sources so the scratch build matches the tree again.
    run(["cmake", "--build", "build", "--target", *targets], args.scratch)


if __name__ == "__main__":
    main()
