#!/usr/bin/env python3
"""Mutation test of the product C++ against the native test suite.

Each mutant changes one operator or constant on one line of app/, printers/,
rawprint/, steps/, the headers of platform/ or platform/posix/ (not the
optional window module in gui/), is
rebuilt in build/mutate (ninja rebuilds only what depends on the file) and
run against the unit and CUPS tests: ctest without the labels wine, gui,
package, valgrind and fuzz, stopping at the first failure. A mutant is killed
when a test fails or the run times out, survived when all pass, and not built
when it does not compile (left out of the score). The file is restored after
every mutant, and on Ctrl-C or any error.

Selection: --sample K keeps a mutant when crc32 of its key (file, original
line, mutated line, how often that line text occurred before in the file) is
0 modulo K. The key does not depend on line numbers, so the same rule picks
the same mutants after unrelated edits. --limit N then keeps the first N.
Scores compare only between runs with the same K; the recorded baseline is
    nice -n 19 scripts/mutate.py --sample 3
(205 of the 569 mutants; 27 minutes on two shared cores).
"""
import argparse, os, re, signal, subprocess, sys, time, zlib
from collections import Counter
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
SOURCES = ["app", "printers", "rawprint", "steps", "platform", "platform/posix"]
LABELS = "^(wine|gui|package|valgrind|fuzz)$"
BIN, REL, LOGIC = r"(?<=\s){}(?=\s)", r"(?<![\w.])", r"\s(==|!=|<=?|>=?|&&|\|\|)\s|![\w(]"

def constant(value, hex_digits=0):  # written like the one it replaces; none below 0
    return None if value < 0 else f"0x{value:0{hex_digits}X}" if hex_digits else str(value)

OPERATORS = [  # (pattern on the code with comments and literals blanked, replacements)
    (BIN.format("=="), ["!="]), (BIN.format("!="), ["=="]),
    (BIN.format("<"), ["<="]), (BIN.format("<="), ["<"]),
    (BIN.format(">"), [">="]), (BIN.format(">="), [">"]),
    (BIN.format("&&"), ["||"]), (BIN.format(r"\|\|"), ["&&"]),
    (BIN.format(r"\+"), ["-"]), (BIN.format("-"), ["+"]),
    (r"\btrue\b", ["false"]), (r"\bfalse\b", ["true"]),
    (r"!(?!=)", [""]),  # negation dropped
    (r"\bbreak;", [""]),
    (r"\breturn 0;", ["return 1;"]), (r"\breturn 1;", ["return 0;"]),
    # a returned condition negated; `old` is the match in the unblanked line
    (r"(?<=\breturn )[^?]+(?=;\s*$)", lambda m, old: [f"!({old})"] if re.search(LOGIC, m[0]) else []),
    (REL + r"0x([0-9A-Fa-f]+)\b", lambda m, old: [constant(int(m[1], 16) + d, len(m[1])) for d in (-1, 1)]),
    (REL + r"\d+(?![\w.])", lambda m, old: [constant(int(m[0]) + d) for d in (-1, 1)]),
]

def blank(text):
    """The text with comments and string and char literals (but their opening quote) made spaces."""
    out, i, n = list(text), 0, len(text)
    while i < n:
        if text.startswith(("//", "/*"), i):
            start, end = i, text.find("\n" if text[i + 1] == "/" else "*/", i + 2)
            i = n if end < 0 else end + (text[i + 1] == "*") * 2
        elif text[i] in "\"'":
            start, i = i + 1, i + 1
            while i < n and text[i] != text[start - 1]:
                i += 2 if text[i] == "\\" else 1
            i += 1
        else:
            i += 1; continue
        out[start:i] = [c if c == "\n" else " " for c in out[start:i]]
    return "".join(out)

def mutants(paths):
    for path in paths:
        text = (ROOT / path).read_text(encoding="utf-8")
        seen, lines = Counter(), text.split("\n")
        for number, (line, code) in enumerate(zip(lines, blank(text).split("\n")), 1):
            seen[line.strip()] += 1
            if code.lstrip().startswith("#") or "static_assert" in code:
                continue
            done = set()
            for pattern, replace in OPERATORS:
                for m in re.finditer(pattern, code):
                    news = replace(m, line[m.start():m.end()]) if callable(replace) else replace
                    for new in (n for n in news if n is not None):
                        changed = line[:m.start()] + new + line[m.end():]
                        if changed != line and changed not in done:
                            done.add(changed)
                            key = f"{path}\0{line.strip()}\0{changed.strip()}\0{seen[line.strip()]}"
                            yield dict(file=path, line=number, old=line, new=changed, key=key)

def run(cmd, timeout=None):
    """Runs cmd in its own process group (cupsd included); True when it exits 0."""
    proc = subprocess.Popen(cmd, cwd=ROOT, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                            start_new_session=True)
    try:
        return proc.wait(timeout=timeout) == 0
    except subprocess.TimeoutExpired:
        return False
    finally:
        if proc.poll() is None:
            os.killpg(proc.pid, signal.SIGKILL); proc.wait()

def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--list", action="store_true", help="print the selected mutants and stop")
    ap.add_argument("--files", nargs="+", help="only these files (paths from the repository root)")
    ap.add_argument("--sample", type=int, default=1, metavar="K", help="keep mutants whose key's crc32 %% K == 0")
    ap.add_argument("--limit", type=int, metavar="N", help="keep the first N selected mutants")
    ap.add_argument("--timeout", type=float, help="seconds per test run (default: 3x the clean run)")
    ap.add_argument("--build-dir", default="build/mutate")
    args = ap.parse_args()
    paths = args.files or sorted(str(p.relative_to(ROOT)) for d in SOURCES for p in (ROOT / d).glob("*.[ch]*"))
    chosen = [m for m in mutants(paths) if zlib.crc32(m["key"].encode()) % args.sample == 0][:args.limit]
    if args.list:
        for m in chosen:
            print(f"{m['file']}:{m['line']}: {m['old'].strip()} -> {m['new'].strip()}")
        print(f"{len(chosen)} mutants")
        return
    os.nice(19)
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(130))
    build_dir = str(ROOT / args.build_dir)
    if not (ROOT / args.build_dir / "build.ninja").exists():
        subprocess.run(["cmake", "-S", ROOT, "-B", build_dir, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release"], check=True)
    build = ["cmake", "--build", build_dir, "-j2"]  # ninja rebuilds only what the file reaches
    suite = ["ctest", "--test-dir", build_dir, "-LE", LABELS, "--stop-on-failure"]
    if not run(build):
        sys.exit("the unmutated product does not build")
    started = time.time()
    if not run(suite):
        sys.exit("the unmutated product does not pass the suite")
    timeout = args.timeout or 3 * (time.time() - started)
    print(f"{len(chosen)} mutants (--sample {args.sample}), {timeout:.0f} s per test run; suite: {' '.join(suite)}",
          flush=True)
    originals = {p: (ROOT / p).read_text(encoding="utf-8") for p in {m["file"] for m in chosen}}
    try:
        for i, m in enumerate(chosen, 1):
            lines = originals[m["file"]].split("\n")
            lines[m["line"] - 1] = m["new"]
            try:
                (ROOT / m["file"]).write_text("\n".join(lines), encoding="utf-8")
                m["outcome"] = "not built" if not run(build, 600) else "survived" if run(suite, timeout) else "killed"
            finally:
                (ROOT / m["file"]).write_text(originals[m["file"]], encoding="utf-8")
            print(f"[{i}/{len(chosen)}] {m['outcome']}: {m['file']}:{m['line']}: {m['new'].strip()}", flush=True)
    finally:
        report([m for m in chosen if "outcome" in m], time.time() - started)

def report(results, seconds):
    def line(name, rs):
        n = {o: sum(r["outcome"] == o for r in rs) for o in ("killed", "survived", "not built")}
        tried = n["killed"] + n["survived"]
        score = f"{100 * n['killed'] / tried:.1f}%" if tried else "-"
        return f"{name:40} {len(rs):7} {n['killed']:6} {n['survived']:8} {n['not built']:9} {score:>6}"
    print(f"\n{seconds / 60:.0f} min; score = killed / (killed + survived)\n")
    print(f"{'file':40} {'mutants':>7} {'killed':>6} {'survived':>8} {'not built':>9} {'score':>6}")
    for f in sorted({r["file"] for r in results}):
        print(line(f, [r for r in results if r["file"] == f]))
    print(line("total", results))
    print("\nsurvivors:")
    for r in (r for r in results if r["outcome"] == "survived"):
        print(f"{r['file']}:{r['line']}: {r['old'].strip()} -> {r['new'].strip()}")

if __name__ == "__main__":
    try:
        main()
    except KeyboardInterrupt:
        sys.exit(130)
