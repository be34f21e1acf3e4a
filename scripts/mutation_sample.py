#!/usr/bin/env python3
"""A deterministic mutation sample of the library: how many small faults the test suite catches.

Sites are one-token or one-statement changes in quantora/*.cpp: a relational, arithmetic or
logical operator flipped, true/false swapped, an integer constant moved by one, a statement
deleted, an if/while condition negated. A site is named by its content (file, line text, the
occurrence of that text in the file, operator, occurrence on the line), and the sample is the
sites ordered by a hash of that name and the seed, so the same seed picks the same sites after
the rest of the tree has changed. `--same-as <results.tsv>` reruns exactly the mutants of an
earlier run that built, and reports those whose line is gone. `--only <regex>` keeps the sites
of matching files. `--pg` starts a throwaway PostgreSQL server and runs the suite against it too
for every mutant the SQLite run leaves alive, so code only that engine runs is sampled as well.

For each site the file is changed in place, the build directory rebuilt incrementally and the
ctest suite run (stopping at the first failure); the file is always restored. A mutant that does
not build is not counted. Results go to <build>/mutation-<seed>.tsv, which also lets a stopped
run resume.
"""

import argparse
import hashlib
import os
import re
import signal
import subprocess
import sys
import time
from collections import defaultdict
from pathlib import Path

WORD_SWAPS = {"true": "false", "false": "true"}
# Binary operators as clang-format writes them: one space on each side.
OPERATOR_SWAPS = {
    " < ": " <= ", " <= ": " < ", " > ": " >= ", " >= ": " > ",
    " == ": " != ", " != ": " == ",
    " + ": " - ", " - ": " + ", " * ": " / ", " / ": " * ",
    " += ": " -= ", " -= ": " += ",
    " && ": " || ", " || ": " && ",
}
KIND = {
    " < ": "relational", " <= ": "relational", " > ": "relational", " >= ": "relational",
    " == ": "relational", " != ": "relational", " + ": "arithmetic", " - ": "arithmetic",
    " * ": "arithmetic", " / ": "arithmetic", " += ": "arithmetic", " -= ": "arithmetic",
    " && ": "logical", " || ": "logical",
}
NOT_STATEMENTS = re.compile(
    r"^(return|using|static|const|constexpr|auto|typedef|struct|class|enum|namespace|"
    r"template|friend|public|private|protected|case|default|else|#|}|{|\))")
# "Type name = ...;" and the like: deleting a declaration only breaks the build.
DECLARATION = re.compile(r"^(?!throw\b|delete\b)[A-Za-z_][\w:<>,*&\s]*[\s*&>]\w+\s*(=|\(|\{|;|\[)")


def code_mask(text):
    """Same length as text; every character inside a comment, a string or character literal
    or a preprocessor line is replaced by a blank, so operators are found in code only."""
    out = list(text)
    i, n = 0, len(text)
    line_start = True
    while i < n:
        c = text[i]
        if line_start and c == "#":
            j = i
            while j < n and text[j] != "\n":
                if text[j] == "\\" and j + 1 < n and text[j + 1] == "\n":
                    j += 1
                j += 1
            for k in range(i, j):
                if out[k] != "\n":
                    out[k] = " "
            i = j
            continue
        if c == "\n":
            line_start = True
            i += 1
            continue
        if not c.isspace():
            line_start = False
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
        elif c == "R" and text.startswith('"', i + 1) and (i == 0 or not text[i - 1].isalnum()):
            m = re.match(r'R"([^(\s]*)\(', text[i:])
            if not m:
                i += 1
                continue
            end = text.find(")" + m.group(1) + '"', i)
            j = n if end < 0 else end + len(m.group(1)) + 2
        elif c in "\"'":
            if c == "'" and i > 0 and text[i - 1].isalnum():  # digit separator 1'000
                i += 1
                continue
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            j += 1
        else:
            i += 1
            continue
        for k in range(i, min(j, n)):
            if out[k] != "\n":
                out[k] = " "
        i = j
    return "".join(out)


def line_sites(code, raw):
    """(operator, occurrence, mutated raw line) for each site on one line."""
    sites = []
    for op, repl in OPERATOR_SWAPS.items():
        start, k = 0, 0
        while (p := code.find(op, start)) >= 0:
            start = p + 1
            # '<'/'>' inside '<<', '>>', '->', '<=>' and compound assignments are not comparisons
            if op.strip() in ("<", ">") and code[p + 1: p + 3] in ("<<", ">>"):
                continue
            sites.append((KIND[op] + ":" + op.strip(), k, raw[:p] + repl + raw[p + len(op):]))
            k += 1
    for word, repl in WORD_SWAPS.items():
        for k, m in enumerate(re.finditer(r"\b%s\b" % word, code)):
            sites.append(("boolean:" + word, k, raw[: m.start()] + repl + raw[m.end():]))
    for k, m in enumerate(re.finditer(r"(?<![\w.])(\d+)(?![\w.'])", code)):
        value = int(m.group(1))
        repl = str(value + 1 if value == 0 or value % 2 == 0 else value - 1)
        sites.append(("constant:" + m.group(1), k, raw[: m.start()] + repl + raw[m.end():]))
    for k, m in enumerate(re.finditer(r"\b(if|while) \(", code)):
        open_at = m.end() - 1
        depth = 0
        for p in range(open_at, len(code)):
            depth += {"(": 1, ")": -1}.get(code[p], 0)
            if depth == 0:
                sites.append(("negate:" + m.group(1), k,
                              raw[: open_at + 1] + "!(" + raw[open_at + 1: p] + ")" + raw[p:]))
                break
    stripped = code.strip()
    if (stripped.endswith(";") and not NOT_STATEMENTS.match(stripped) and not DECLARATION.match(stripped)
            and code.count("(") == code.count(")") and ("(" in stripped or "=" in stripped
                                                         or "++" in stripped or stripped in ("break;", "continue;"))):
        indent = raw[: len(raw) - len(raw.lstrip())]
        sites.append(("delete:statement", 0, indent + ";"))
    return sites


def all_sites(tree):
    sites = []
    for path in sorted((tree / "quantora").rglob("*.cpp")):
        rel = str(path.relative_to(tree))
        text = path.read_text()
        lines, codes = text.split("\n"), code_mask(text).split("\n")
        seen = defaultdict(int)
        for number, (raw, code) in enumerate(zip(lines, codes)):
            occurrence = seen[raw.strip()]
            seen[raw.strip()] += 1
            for op, k, mutated in line_sites(code, raw):
                key = "\t".join([rel, raw.strip(), str(occurrence), op, str(k)])
                sites.append({"key": key, "file": rel, "line": number, "raw": raw,
                              "mutated": mutated, "op": op})
    return sites


def order(sites, seed):
    return sorted(sites, key=lambda s: hashlib.sha1(f"{seed}\t{s['key']}".encode()).hexdigest())


def subsystem(rel):
    parts = rel.split("/")
    return parts[1] if len(parts) > 2 else "quantora"


def run(cmd, timeout, env=None):
    try:
        p = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                           timeout=timeout, env=env, start_new_session=True)
        return p.returncode, p.stdout
    except subprocess.TimeoutExpired as e:
        out = e.stdout.decode(errors="replace") if isinstance(e.stdout, bytes) else (e.stdout or "")
        return None, out


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--count", type=int, default=100, help="mutants that build, to run")
    ap.add_argument("--tree", type=Path, default=Path(__file__).resolve().parent.parent)
    ap.add_argument("--build", type=Path, help="build directory (default <tree>/build/mutation)")
    ap.add_argument("--jobs", type=int, default=os.cpu_count() or 2)
    ap.add_argument("--test-timeout", type=int, default=300)
    ap.add_argument("--same-as", type=Path, help="rerun the built mutants of this results file")
    ap.add_argument("--only", help="keep only the sites of files matching this regular expression")
    ap.add_argument("--pg", action="store_true",
                    help="also run the suite against a throwaway PostgreSQL server")
    ap.add_argument("--list", action="store_true", help="print the sample's sites and stop")
    args = ap.parse_args()
    tree = args.tree.resolve()
    build = (args.build or tree / "build" / "mutation").resolve()

    sample = order(all_sites(tree), args.seed)
    if args.same_as:
        wanted = [row.rsplit("\t", 2) for row in args.same_as.read_text().splitlines()]
        wanted = [key for key, status, _ in wanted if status in ("killed", "survived")]
        by_key = {s["key"]: s for s in sample}
        gone = [key for key in wanted if key not in by_key]
        for key in gone:
            print("gone: " + key.replace("\t", " | "))
        sample = [by_key[key] for key in wanted if key in by_key]
    if args.only:
        sample = [s for s in sample if re.search(args.only, s["file"])]
    if args.same_as:
        args.count = len(sample)
    if args.list:
        for s in sample[: args.count]:
            print(f"{s['file']}:{s['line'] + 1}: {s['op']}: {s['mutated'].strip()}")
        return 0

    env = dict(os.environ, QT_QPA_PLATFORM="offscreen",
               XDG_RUNTIME_DIR=os.environ.get("XDG_RUNTIME_DIR", "/tmp/runtime-root"))
    os.makedirs(env["XDG_RUNTIME_DIR"], mode=0o700, exist_ok=True)
    env.pop("QUANTORA_TEST_PG", None)
    if not (build / "build.ninja").exists():
        launcher = ["-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"] if run(["which", "ccache"], 10)[0] == 0 else []
        # Executables do not relink when only the shared library changed: a mutant costs one
        # compile and one library link.
        rc, out = run(["cmake", "-S", str(tree), "-B", str(build), "-G", "Ninja",
                       "-DCMAKE_BUILD_TYPE=Release", "-DQUANTORA_WERROR=ON",
                       "-DQUANTORA_BUILD_BENCH=OFF", "-DCMAKE_LINK_DEPENDS_NO_SHARED=ON"] + launcher, 600)
        if rc != 0:
            sys.exit("cmake failed:\n" + out)
    ninja = ["ninja", "-C", str(build), f"-j{args.jobs}"]
    ctest = ["ctest", "--test-dir", str(build), f"-j{args.jobs}", "--stop-on-failure",
             "--timeout", str(args.test_timeout)]
    rc, out = run(ninja, 7200)
    if rc != 0:
        sys.exit("the unmutated tree does not build:\n" + out[-3000:])
    pg_env, pg_dir = None, None
    if args.pg:
        import tempfile
        pg_dir = tempfile.mkdtemp(prefix="quantora-pg.")
        rc, out = run(["bash", str(tree / "scripts" / "pg-test-server.sh"), "start", pg_dir], 300)
        if rc != 0:
            sys.exit("the PostgreSQL server does not start:\n" + out[-3000:])
        pg_env = dict(env, QUANTORA_TEST_PG=out.strip().splitlines()[-1])
    try:
        return mutate(args, tree, build, sample, env, pg_env, ninja, ctest)
    finally:
        if pg_dir:
            run(["bash", str(tree / "scripts" / "pg-test-server.sh"), "stop", pg_dir], 300)


def mutate(args, tree, build, sample, env, pg_env, ninja, ctest):
    for suite_env in filter(None, (env, pg_env)):
        rc, out = run(ctest, 3600, suite_env)
        if rc != 0:
            sys.exit("the unmutated suite fails:\n" + out[-3000:])

    suffix = ("-rerun" if args.same_as else "") + ("-pg" if pg_env else "")
    results_path = build / f"mutation-{args.seed}{suffix}.tsv"
    done = {}
    if results_path.exists():
        for row in results_path.read_text().splitlines():
            key, status, detail = row.rsplit("\t", 2)
            done[key] = (status, detail)
    results = open(results_path, "a")

    original = {}

    def restore(*_):
        for path, text in original.items():
            path.write_text(text)
        original.clear()

    signal.signal(signal.SIGTERM, lambda *_: (restore(), sys.exit(143)))
    valid = 0  # mutants of this sample that built, done earlier or now
    outcomes = []
    for s in sample:
        if valid >= args.count:
            break
        if s["key"] in done:
            status, detail = done[s["key"]]
        else:
            path = tree / s["file"]
            text = path.read_text()
            lines = text.split("\n")
            original[path] = text
            lines[s["line"]] = s["mutated"]
            started = time.time()
            try:
                path.write_text("\n".join(lines))
                rc, out = run(ninja, 1800)
                if rc != 0:
                    status, detail = "invalid", "does not build"
                else:
                    # The mutated subsystem's own tests first: most mutants die there, and the
                    # verdict is the same as the whole suite's.
                    own = build / "tests" / subsystem(s["file"])
                    rc = 0
                    if (own / "CTestTestfile.cmake").exists():
                        rc, out = run(ctest[:1] + ["--test-dir", str(own)] + ctest[3:], 3600, env)
                    if rc == 0:
                        rc, out = run(ctest, 3600, env)
                    if rc == 0 and pg_env:
                        rc, out = run(ctest, 3600, pg_env)
                    # The first test of ctest's "FAILED" list (its skipped ones are listed too).
                    failed = re.findall(r"^\s*\d+ - (\S+) \((?!Skipped)",
                                        out.split("tests FAILED:")[-1], re.M)
                    if rc is None:
                        status, detail = "killed", "suite timed out"
                    elif rc != 0:
                        status, detail = "killed", (failed[0] if failed else "ctest failed")
                    else:
                        status, detail = "survived", ""
            finally:
                restore()
            results.write(f"{s['key']}\t{status}\t{detail}\n")
            results.flush()
            print(f"[{valid + (status != 'invalid')}/{args.count}] {status:8} "
                  f"{time.time() - started:5.0f}s {s['file']}:{s['line'] + 1} {s['op']} {detail}",
                  flush=True)
        if status != "invalid":
            valid += 1
        outcomes.append((s, status, detail))
    run(ninja, 7200)  # leave the build matching the restored tree

    per = defaultdict(lambda: [0, 0])
    for s, status, _ in outcomes:
        if status == "invalid":
            continue
        for name in (subsystem(s["file"]), "all"):
            per[name][1] += 1
            per[name][0] += status == "killed"
    print(f"\nseed {args.seed}: {valid} mutants that build, "
          f"{sum(1 for _, st, _ in outcomes if st == 'invalid')} that do not")
    for name in sorted(per, key=lambda n: (n == "all", n)):
        killed, total = per[name]
        print(f"  {name:14} {killed:4}/{total:<4} killed  {100.0 * killed / total:5.1f}%")
    print("\nsurvivors:")
    for s, status, _ in outcomes:
        if status == "survived":
            print(f"  {s['file']}:{s['line'] + 1}: {s['op']}\n    - {s['raw'].strip()}\n    + {s['mutated'].strip()}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
