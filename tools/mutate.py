#!/usr/bin/env python3
"""Mutation check: plants one known fault at a time and sees whether the tests notice.

Usage: tools/mutate.py BUILD [--only ID,ID] [--file SUBSTRING] [--all-groups] [--no-smoke] [--list]

Each mutant of tools/mutants.json names a file, an exact text that occurs there exactly once, its
replacement and the CTest groups that should see the fault ("smoke": true adds smoke_tests, run
only when the other groups let the mutant through). The file is changed, the groups' targets are
rebuilt with ninja, the groups run under Wine through tools/test.sh, and the file is restored
whatever happens. A copy of the original waits in BUILD/mutate/backup until then, so that a run
that was killed is undone by the next one before anything else. Results go to
BUILD/mutate/results.json (a rerun of a subset updates its entries) and BUILD/mutate/results.txt.
"""
import argparse
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
SMOKE = "smoke_tests"


def restore_leftover(backup_dir):
    """Puts back a file that a killed run left mutated."""
    state = os.path.join(backup_dir, "state.json")
    if not os.path.exists(state):
        return
    with open(state, encoding="utf-8") as f:
        info = json.load(f)
    original = os.path.join(backup_dir, "original")
    if os.path.exists(original):
        shutil.copyfile(original, os.path.join(ROOT, info["file"]))
        print(f"restored {info['file']} left mutated by an earlier run ({info['id']})")
    os.remove(state)


class Planted:
    """The mutant applied for the length of a with-block; the original is back afterwards."""

    def __init__(self, backup_dir, mutant, text):
        self.backup_dir, self.mutant, self.text = backup_dir, mutant, text
        self.path = os.path.join(ROOT, mutant["file"])

    def __enter__(self):
        os.makedirs(self.backup_dir, exist_ok=True)
        with open(os.path.join(self.backup_dir, "original"), "w", encoding="utf-8", newline="") as f:
            f.write(self.text)
        with open(os.path.join(self.backup_dir, "state.json"), "w", encoding="utf-8") as f:
            json.dump({"id": self.mutant["id"], "file": self.mutant["file"]}, f)
        with open(self.path, "w", encoding="utf-8", newline="") as f:
            f.write(self.text.replace(self.mutant["find"], self.mutant["replace"], 1))
        return self

    def restore(self):
        with open(self.path, "w", encoding="utf-8", newline="") as f:
            f.write(self.text)
        state = os.path.join(self.backup_dir, "state.json")
        if os.path.exists(state):
            os.remove(state)

    def __exit__(self, *exc):
        self.restore()
        return False


def failed_tests(output):
    """CTest groups and GoogleTest cases that failed, from test.sh's output."""
    groups, cases = [], []
    in_list = False
    for line in output.splitlines():
        if "The following tests FAILED" in line:
            in_list = True
            continue
        if in_list:
            m = re.match(r"\s*\d+ - (\S+) \((.*)\)", line)
            if m:
                groups.append(f"{m.group(1)} ({m.group(2)})")
                continue
            in_list = False
        m = re.match(r"\[  FAILED  \] (\S+\.\S+)", line)
        name = m.group(1).rstrip(",") if m else ""
        if name and name not in cases:
            cases.append(name)
    return groups, cases


def run_groups(build, groups, log, timeout):
    regex = "^(" + "|".join(re.escape(g) for g in groups) + ")$"
    env = dict(os.environ, VELTRINA_FUZZ="0")
    cmd = ["nice", "-n", "19", "bash", os.path.join(HERE, "test.sh"), build, "-R", regex]
    try:
        p = subprocess.run(cmd, cwd=ROOT, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                           timeout=timeout, text=True, errors="replace")
        out, rc = p.stdout, p.returncode
    except subprocess.TimeoutExpired as e:
        out = (e.stdout or b"").decode("utf-8", "replace") if isinstance(e.stdout, bytes) else (e.stdout or "")
        out += f"\n(no end after {timeout} s)\n"
        rc = -1
    log.write(out)
    log.flush()
    if rc == 0:
        return None
    groups_failed, cases = failed_tests(out)
    if rc == -1:
        return "time-out: " + ", ".join(groups)
    return ", ".join(cases[:3] or groups_failed or [f"test.sh exit {rc}"])


def run_mutant(mutant, build, out_dir, args):
    result = {"id": mutant["id"], "file": mutant["file"], "why": mutant.get("why", "")}
    path = os.path.join(ROOT, mutant["file"])
    if not os.path.exists(path):
        return dict(result, status="stale", detail="no such file")
    with open(path, encoding="utf-8", newline="") as f:
        text = f.read()
    found = text.count(mutant["find"])
    if found != 1:
        return dict(result, status="stale", detail=f"text found {found} times")
    groups = list(mutant["groups"])
    smoke = mutant.get("smoke", False) and not args.no_smoke
    targets = groups + ([SMOKE] if smoke else [])
    log_path = os.path.join(out_dir, "logs", mutant["id"] + ".log")
    os.makedirs(os.path.dirname(log_path), exist_ok=True)
    started = time.time()
    with open(log_path, "w", encoding="utf-8") as log:
        with Planted(os.path.join(out_dir, "backup"), mutant, text) as planted:
            build_cmd = ["nice", "-n", "19", "ninja", "-C", build, "-j", str(args.jobs)] + targets
            b = subprocess.run(build_cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                               errors="replace")
            log.write(b.stdout)
            # The programs are built: the source need not stay mutated while they run.
            planted.restore()
        if b.returncode != 0:
            return dict(result, status="build-failed", detail="does not compile", seconds=round(time.time() - started))
        killer = run_groups(build, groups, log, args.timeout) if groups else None
        if killer is None and smoke:
            killer = run_groups(build, [SMOKE], log, args.timeout)
            if killer:
                killer = "smoke: " + killer
        elif killer and smoke and args.all_groups:
            also = run_groups(build, [SMOKE], log, args.timeout)
            if also:
                killer += "; smoke: " + also
    seconds = round(time.time() - started)
    if killer:
        return dict(result, status="killed", detail=killer, seconds=seconds)
    if mutant.get("explained"):
        return dict(result, status="explained", detail=mutant["explained"], seconds=seconds)
    return dict(result, status="survived", detail="no test failed", seconds=seconds)


def write_summary(out_dir, results, order):
    ordered = sorted(results.values(), key=lambda r: order.get(r["id"], 1 << 30))
    with open(os.path.join(out_dir, "results.json"), "w", encoding="utf-8") as f:
        json.dump(ordered, f, indent=1, ensure_ascii=False)
    counts = {}
    for r in ordered:
        counts[r["status"]] = counts.get(r["status"], 0) + 1
    killed = counts.get("killed", 0)
    judged = killed + counts.get("survived", 0) + counts.get("explained", 0)
    w_id = max([len("id")] + [len(r["id"]) for r in ordered])
    w_file = max([len("file")] + [len(r["file"]) for r in ordered])
    lines = [f"{'id':<{w_id}} {'file':<{w_file}} {'status':<12} detail"]
    for r in ordered:
        lines.append(f"{r['id']:<{w_id}} {r['file']:<{w_file}} {r['status']:<12} {r['detail']}")
    lines.append("")
    lines.append(" ".join(f"{k}: {v}" for k, v in sorted(counts.items())))
    if judged:
        lines.append(f"kill rate: {killed}/{judged} = {100.0 * killed / judged:.0f} % "
                     f"(build-failed and stale count as neither)")
    text = "\n".join(lines) + "\n"
    with open(os.path.join(out_dir, "results.txt"), "w", encoding="utf-8") as f:
        f.write(text)
    return text


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("build")
    ap.add_argument("--mutants", default=os.path.join(HERE, "mutants.json"))
    ap.add_argument("--only", default="", help="comma- or space-separated mutant ids")
    ap.add_argument("--file", default="", help="only mutants of files whose path contains this")
    ap.add_argument("--all-groups", action="store_true", help="run smoke_tests even when a group killed it")
    ap.add_argument("--no-smoke", action="store_true")
    ap.add_argument("--list", action="store_true", help="print the mutants and stop")
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--timeout", type=int, default=1200, help="seconds for one run of test.sh")
    args = ap.parse_args()
    # A terminated run unwinds like an interrupted one, so the planted file is restored on the way out.
    for sig in (signal.SIGTERM, signal.SIGHUP):
        signal.signal(sig, lambda number, frame: sys.exit(128 + number))
    build = os.path.abspath(args.build)
    out_dir = os.path.join(build, "mutate")
    os.makedirs(out_dir, exist_ok=True)
    restore_leftover(os.path.join(out_dir, "backup"))

    with open(args.mutants, encoding="utf-8") as f:
        mutants = json.load(f)
    ids = [m["id"] for m in mutants]
    if len(ids) != len(set(ids)):
        sys.exit("mutants.json: ids must be unique")
    order = {m["id"]: i for i, m in enumerate(mutants)}
    wanted = set(re.split(r"[,\s]+", args.only.strip())) - {""}
    unknown = wanted - set(ids)
    if unknown:
        sys.exit("unknown mutant ids: " + ", ".join(sorted(unknown)))
    chosen = [m for m in mutants if (not wanted or m["id"] in wanted) and args.file in m["file"]]
    if args.list:
        for m in chosen:
            path = os.path.join(ROOT, m["file"])
            found = open(path, encoding="utf-8").read().count(m["find"]) if os.path.exists(path) else 0
            state = "" if found == 1 else f"  STALE (text found {found} times)"
            print(f"{m['id']:<28} {m['file']:<44} {','.join(m['groups'])}{' +smoke' if m.get('smoke') else ''}{state}")
        return 0

    results_path = os.path.join(out_dir, "results.json")
    results = {}
    if os.path.exists(results_path):
        with open(results_path, encoding="utf-8") as f:
            results = {r["id"]: r for r in json.load(f) if r["id"] in order}
    for n, m in enumerate(chosen, 1):
        print(f"[{n}/{len(chosen)}] {m['id']} ({m['file']}) ...", flush=True)
        r = run_mutant(m, build, out_dir, args)
        results[m["id"]] = r
        print(f"    {r['status']}: {r['detail']}", flush=True)
        write_summary(out_dir, results, order)
    print()
    print(write_summary(out_dir, results, order), end="")
    return 0


if __name__ == "__main__":
    sys.exit(main())
