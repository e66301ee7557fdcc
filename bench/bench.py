#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Times Tandrel's unattended runs against rsync, cp and Unison on the same generated trees.

Started by bench/run.sh, which installs the comparison tools first. Every figure comes from one
invocation: the tools take turns on the same trees (A B A B ...), each run is prepared outside the
timed region, and the report gives medians and the ratio Tandrel / other tool.
"""

import argparse
import datetime
import hashlib
import os
import platform
import random
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

SCENARIOS = ["nochange", "changed", "cold", "initial", "large", "syscalls", "memory", "stick"]

# Names mix blanks, accents and non-Latin scripts so that every tool has to carry UTF-8 byte names.
WORDS = ["report", "Bericht Entwurf", "données", "файл", "写真", "naïve café", "Ωmega", "plain",
         "notes 2024", "ĉapelo", "résumé final", "x"]
EXTS = ["txt", "dat", "jpg", "bin", "c", "pdf"]

# Files are dated between 2019 and 2022 with random nanoseconds; changed files get a later date, so a
# change is always "source newer" for every tool.
BASE_NS = 1_546_300_800 * 10**9
SPAN_NS = 3 * 365 * 86400 * 10**9
CHANGED_NS = BASE_NS + SPAN_NS + 86400 * 10**9


def log(msg):
    print(f"[bench {time.strftime('%H:%M:%S')}] {msg}", file=sys.stderr, flush=True)


def loadavg():
    with open("/proc/loadavg") as f:
        return float(f.read().split()[0])


# ---------------------------------------------------------------------------------------------------
# Trees


class Tree:
    """A generated tree description: relative folder and file names with size, time and content."""

    def __init__(self, files, folders, max_size, seed, empty=False):
        rng = random.Random(seed)
        self.dirs = [""]
        depth = {"": 0}
        for i in range(folders):
            parent = rng.choice(self.dirs)
            if depth[parent] >= 4:
                parent = ""
            rel = os.path.join(parent, f"{rng.choice(WORDS)} {i:05d}")
            self.dirs.append(rel)
            depth[rel] = depth[parent] + 1
        self.max_size = max_size
        self.blob = b"" if empty else rng.randbytes(2 * max_size + 1)
        # (rel, size, offset into blob, mtime ns)
        self.files = []
        for j in range(files):
            d = rng.choice(self.dirs)
            rel = os.path.join(d, f"{rng.choice(WORDS)} {j:07d}.{rng.choice(EXTS)}")
            size = 0 if empty else rng.randint(0, max_size)
            off = 0 if empty else rng.randrange(max_size + 1)
            self.files.append((rel, size, off, BASE_NS + rng.randrange(SPAN_NS)))

    def content(self, size, off):
        return self.blob[off:off + size]


def write_file(path, data, mtime_ns):
    fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
    try:
        view = memoryview(data)
        while view:
            view = view[os.write(fd, view):]
    finally:
        os.close(fd)
    os.utime(path, ns=(mtime_ns, mtime_ns))


def materialize(tree, root):
    os.makedirs(root)
    for d in tree.dirs[1:]:
        os.mkdir(os.path.join(root, d))
    for n, (rel, size, off, mt) in enumerate(tree.files):
        write_file(os.path.join(root, rel), tree.content(size, off), mt)
        if n and n % 100_000 == 0:
            log(f"  {n} files written")


def run_quiet(cmd, **kw):
    r = subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True, **kw)
    if r.returncode != 0:
        raise SystemExit(f"command failed ({r.returncode}): {' '.join(cmd)}\n{r.stderr}")


def make_pair(bench, key, tree, pair=True):
    """Returns (src, dst) roots named .../src/Data and .../dst/Data, identical to the nanosecond.
    pair False: only the source is made (dst None).

    The pair is kept between invocations (marked by a stamp file) because generating it takes long.
    """
    base = os.path.join(bench.work, "trees", key)
    src, dst = os.path.join(base, "src", "Data"), os.path.join(base, "dst", "Data")
    stamp = os.path.join(base, "complete")
    if not pair:
        dst = None
    if os.path.exists(stamp):
        return src, dst
    if os.path.exists(base):
        bench.discard(base)
    log(f"generating {key}: {len(tree.files)} files in {len(tree.dirs)} folders")
    materialize(tree, src)
    if dst:
        os.makedirs(os.path.dirname(dst))
        # cp -a keeps times to the nanosecond, so the two trees compare equal for every tool.
        run_quiet(["cp", "-a", src, os.path.dirname(dst)])
    open(stamp, "w").close()
    return src, dst


def listing(root):
    """Relative name -> (size, mtime ns) of every non-folder entry, by lstat."""
    out = {}
    stack = [""]
    while stack:
        rel = stack.pop()
        with os.scandir(os.path.join(root, rel)) as it:
            for e in it:
                r = os.path.join(rel, e.name)
                if e.is_dir(follow_symlinks=False):
                    stack.append(r)
                else:
                    st = e.stat(follow_symlinks=False)
                    out[r] = (st.st_size, st.st_mtime_ns)
    return out


def compare_trees(a, b, sample=(), window_ns=0):
    """Returns None when both trees list the same files with equal sizes, times (within window_ns, for a
    medium that keeps coarser times) and sampled contents."""
    la, lb = listing(a), listing(b)
    if la.keys() != lb.keys():
        missing = sorted(la.keys() - lb.keys())[:3]
        extra = sorted(lb.keys() - la.keys())[:3]
        return f"file sets differ (missing {missing}, extra {extra})"
    for rel, v in la.items():
        if lb[rel][0] != v[0] or abs(lb[rel][1] - v[1]) > window_ns:
            return f"{rel}: size/time {v} vs {lb[rel]}"
    for rel in sample:
        with open(os.path.join(a, rel), "rb") as fa, open(os.path.join(b, rel), "rb") as fb:
            if fa.read() != fb.read():
                return f"{rel}: contents differ"
    return None


def drop_user_xattrs(path):
    # Tandrel keeps its archive record in a user. attribute; removing it makes the file "archived"
    # again, as a freshly written file is.
    try:
        for name in os.listxattr(path, follow_symlinks=False):
            if name.startswith("user."):
                os.removexattr(path, name, follow_symlinks=False)
    except OSError:
        pass


def warm(*roots, contents=False):
    """Pulls the trees into the page cache: idle cache is evicted here within about a minute."""
    for root in roots:
        if contents:
            subprocess.run(f"find {shq(root)} -type f -print0 | xargs -0r cat > /dev/null", shell=True,
                           check=False)
        else:
            subprocess.run(["find", root, "-printf", ""], check=False)


def shq(s):
    return "'" + s.replace("'", "'\\''") + "'"


# ---------------------------------------------------------------------------------------------------
# Running tools


class Result:
    def __init__(self):
        self.times = []
        self.rss_kib = []
        self.cpu = []
        self.failure = None


class Bench:
    def __init__(self, args):
        self.args = args
        self.work = os.path.abspath(args.work)
        os.makedirs(self.work, exist_ok=True)
        self.trash = os.path.join(self.work, "trash")
        self.trash_count = 0
        self.env_count = 0
        self.last_cpu = 0.0
        self.unison_dir = os.path.join(self.work, "unison")
        os.makedirs(self.unison_dir, exist_ok=True)
        self.sections = []
        self.summary = []
        self.tandrel = self.snapshot_binary(args.tandrel, "tandrel")
        self.baseline = self.snapshot_binary(args.baseline, "tandrel-baseline") if args.baseline else None
        with open(self.tandrel, "rb") as f:
            self.tandrel_digest = hashlib.sha256(f.read()).hexdigest()

    def snapshot_binary(self, path, name):
        # Others rebuild the program while we measure: time one fixed copy.
        os.makedirs(os.path.join(self.work, "bin"), exist_ok=True)
        dst = os.path.join(self.work, "bin", name)
        shutil.copy2(path, dst)
        return dst

    # Trees are moved aside, never deleted between runs: on this ext4 (mounted with discard, no
    # journal) creating files right after many were deleted is very slow for about a minute.
    def discard(self, path):
        os.makedirs(self.trash, exist_ok=True)
        self.trash_count += 1
        os.rename(path, os.path.join(self.trash, f"{os.getpid()}-{self.trash_count}"))

    def empty_trash(self, settle):
        if os.path.exists(self.trash):
            log("deleting moved-aside trees")
            shutil.rmtree(self.trash, ignore_errors=True)
            if settle:
                log(f"waiting {settle} s for the file system to settle after the deletion")
                time.sleep(settle)

    def ensure_space(self, need_bytes):
        free = shutil.disk_usage(self.work).free
        if free < need_bytes + 5 * 2**30:
            self.empty_trash(self.args.settle)
            free = shutil.disk_usage(self.work).free
            if free < need_bytes + 5 * 2**30:
                raise SystemExit(f"not enough free space in {self.work}: {free >> 20} MiB")

    def tandrel_env(self):
        self.env_count += 1
        d = os.path.join(self.work, "env", f"{os.getpid()}-{self.env_count}")
        os.makedirs(os.path.join(d, "config"))
        os.makedirs(os.path.join(d, "runtime"), mode=0o700)
        env = {k: v for k, v in os.environ.items()
               if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "TANDREL_DEBUG")}
        env.update(TMPDIR=d, XDG_STATE_HOME=d, XDG_CONFIG_HOME=os.path.join(d, "config"),
                   XDG_RUNTIME_DIR=os.path.join(d, "runtime"))
        return d, env

    def tandrel_cmd(self, src, dst, mode, program=None):
        return [program or self.tandrel, f"/srcdir:{src}", f"/destdir:{dst}",
                "/!s" if mode == "sync" else "/!b", "/!q"]

    def tandrel_tools(self, src, dst, mode):
        """The Tandrel rows of a timed scenario: the program, and the baseline build when one is given.
        dst None: the copy scenarios, whose target is made anew for every run."""
        programs = [("tandrel", self.tandrel)] + ([("tandrel baseline", self.baseline)] if self.baseline else [])
        if dst is None:
            return [{"name": n, "tandrel": True, "make": lambda t, p=p: self.tandrel_cmd(src, t, mode, p)}
                    for n, p in programs]
        return [{"name": n, "tandrel": True, "cmd": self.tandrel_cmd(src, dst, mode, p)} for n, p in programs]

    def timed(self, cmd, env=None, wrap=None):
        """Runs cmd once; returns (seconds, max RSS KiB of its largest process, exit code, stderr).

        GNU time reports the peak: the rusage of a child seen from here would include the Python
        process it was forked from.
        """
        rss_file = os.path.join(self.work, "rss.out")
        full = ["/usr/bin/time", "-f", "%U %S %M", "-o", rss_file] + (wrap or []) + cmd
        err = tempfile.TemporaryFile(dir=self.work)
        t0 = time.perf_counter()
        rc = subprocess.call(full, stdout=subprocess.DEVNULL, stderr=err, env=env, cwd=self.work)
        t1 = time.perf_counter()
        err.seek(0)
        text = err.read().decode(errors="replace")
        err.close()
        try:
            with open(rss_file) as f:
                user, system, rss = f.read().split()[-3:]
            rss = int(rss)
            self.last_cpu = float(user) + float(system)
        except (OSError, ValueError, IndexError):
            rss, self.last_cpu = 0, 0.0
        return t1 - t0, rss, rc, text

    def run_tool(self, tool, wrap=None):
        """Runs one tool description {cmd, env?, tandrel?}; returns (seconds, rss, failure text or None)."""
        if tool.get("tandrel"):
            d, env = self.tandrel_env()
            if tool.get("ini"):
                os.makedirs(os.path.join(d, "config", "tandrel"))
                with open(os.path.join(d, "config", "tandrel", "Tandrel.ini"), "w") as f:
                    f.write(tool["ini"])
            secs, rss, rc, err = self.timed(tool["cmd"], env=env, wrap=wrap)
            return secs, rss, check_tandrel(d, rc, err)
        secs, rss, rc, err = self.timed(tool["cmd"], env=tool.get("env"), wrap=wrap)
        return secs, rss, None if rc == 0 else f"exit code {rc}: {err.strip()[:300]}"

    def compare(self, tools, runs, prepare=None, warmup=True):
        """Alternates the tools run by run (A B A B ...); returns name -> Result."""
        results = {t["name"]: Result() for t in tools}
        if warmup:
            for t in tools:
                if prepare:
                    prepare(t)
                _, _, fail = self.run_tool(t)
                if fail:
                    results[t["name"]].failure = fail
                    log(f"  {t['name']} warm-up failed: {fail}")
        for r in range(runs):
            for t in tools:
                res = results[t["name"]]
                if res.failure:
                    continue
                if prepare:
                    prepare(t)
                secs, rss, fail = self.run_tool(t)
                if fail:
                    res.failure = fail
                    log(f"  {t['name']} failed: {fail}")
                    continue
                res.times.append(secs)
                res.rss_kib.append(rss)
                res.cpu.append(self.last_cpu)
            log(f"  round {r + 1}/{runs}: " + ", ".join(
                f"{n} {fmt_s(v.times[-1])}" for n, v in results.items() if v.times and not v.failure))
        return results


def check_tandrel(envdir, rc, err):
    """An unattended run succeeded when it exits with 0 and its run log's last outcome is "OK!"."""
    logf = os.path.join(envdir, "tandrel", "TandrelAutoRun.log")
    if rc != 0:
        return f"exit code {rc}: {err.strip()[:300]}"
    try:
        with open(logf, encoding="utf-8", errors="replace") as f:
            lines = [ln.rstrip("\r\n") for ln in f]
    except OSError:
        return "no run log written" + (f"; stderr: {err.strip()[:200]}" if err.strip() else "")
    outcomes = [ln for ln in lines if re.search(r"\] (OK!|ERROR!|General Error!)$", ln)]
    if not outcomes or not outcomes[-1].endswith("] OK!"):
        tail = " | ".join(lines[-4:])
        return f"run log does not end with OK!: {tail[:300]}"
    return None


def fmt_s(secs):
    return f"{secs * 1000:.0f} ms" if secs < 10 else f"{secs:.2f} s"


def fmt_mib(kib):
    return f"{kib / 1024:.1f} MiB"


# ---------------------------------------------------------------------------------------------------
# Report


def result_table(results, target_lines=()):
    rows = ["| tool | runs | median | min | max | CPU user+sys (median) | peak RSS (median) | Tandrel / tool |",
            "|---|---|---|---|---|---|---|---|"]
    tmed = None
    tres = results.get("tandrel")
    if tres and tres.times and not tres.failure:
        tmed = statistics.median(tres.times)
    for name, r in results.items():
        if r.failure or not r.times:
            rows.append(f"| {name} | - | FAILED: {md_escape(r.failure or 'no run')} | | | | | |")
            continue
        med = statistics.median(r.times)
        ratio = "" if name == "tandrel" or tmed is None else f"{tmed / med:.2f}"
        rows.append(f"| {name} | {len(r.times)} | {fmt_s(med)} | {fmt_s(min(r.times))} "
                    f"| {fmt_s(max(r.times))} | {fmt_s(statistics.median(r.cpu))} "
                    f"| {fmt_mib(statistics.median(r.rss_kib))} | {ratio} |")
    return "\n".join(rows + list(target_lines))


def md_escape(s):
    return s.replace("|", "\\|").replace("\n", " ")


def ratio_of(results, other):
    t, o = results.get("tandrel"), results.get(other)
    if not t or not o or t.failure or o.failure or not t.times or not o.times:
        return None
    return statistics.median(t.times) / statistics.median(o.times)


def target(bench, what, ratio, limit):
    if ratio is None:
        bench.summary.append(f"| {what} | <= {limit:.1f} | not measured | - |")
    else:
        verdict = "met" if ratio <= limit else "MISSED"
        bench.summary.append(f"| {what} | <= {limit:.1f} | {ratio:.2f} | {verdict} |")


def durable(bench, what, ratio):
    """A comparison without a target of its own: with the copies on disk at the end, as Tandrel's are."""
    shown = "not measured" if ratio is None else f"{ratio:.2f}"
    bench.summary.append(f"| {what} | (no target) | {shown} | - |")


def load_note(before, after):
    peak = max(before, after)
    if peak >= 0.5:
        return (f"Load average {before:.2f} before, {after:.2f} after: taken **under load** "
                f"(other work on the machine); read ratios rather than absolute times.")
    return f"Load average {before:.2f} before, {after:.2f} after (quiet machine)."


# ---------------------------------------------------------------------------------------------------
# Scenarios


def scenario_nochange(b, a):
    tree = Tree(a.files, a.folders, a.max_size, a.seed)
    src, dst = make_pair(b, f"main-{a.files}-{a.folders}-{a.max_size}-{a.seed}", tree)
    restore_changed(a, tree, src, dst)
    ref = os.path.join(b.work, "ref-stamp")
    open(ref, "w").close()
    os.utime(ref, ns=(CHANGED_NS, CHANGED_NS))
    unison_env = dict(os.environ, UNISON=b.unison_dir)
    tools = [
        *b.tandrel_tools(src, dst, "sync"),
        {"name": "rsync -a --dry-run", "cmd": ["rsync", "-a", "--dry-run", src + "/", dst + "/"]},
        {"name": "unison -batch", "env": unison_env,
         "cmd": ["unison", src, dst, "-batch", "-times", "-silent"]},
        {"name": "find -newer (stat walk)", "cmd": ["find", src, dst, "-type", "f", "-newer", ref]},
    ]
    log(f"no-change synchronize, {a.files} files: warming up (unison builds its archive on its first run)")
    warm(src, dst)
    before = loadavg()
    res = b.compare(tools, a.runs)
    after = loadavg()
    check = compare_trees(src, dst, sample=[f[0] for f in tree.files[:50]])
    b.sections.append(
        f"## No-change synchronize ({a.files} files, {len(tree.dirs)} folders)\n\n"
        f"Identical trees made with cp -a. Tandrel runs `/!s /!q`; Unison runs with its archive present "
        f"(the untimed warm-up run builds it); `find` is the floor: one stat walk of both trees. "
        f"Every tool had one untimed warm-up run; then {a.runs} alternating rounds.\n\n"
        f"{result_table(res)}\n\nTrees after the runs: {check or 'identical'}.\n\n"
        f"{load_note(before, after)}\n")
    if a.hyperfine:
        hyperfine_crosscheck(b, a, [t for t in tools if t["name"] in ("tandrel", "rsync -a --dry-run")])
    target(b, f"no-change synchronize vs rsync -a --dry-run ({a.files} files)",
           ratio_of(res, "rsync -a --dry-run"), 1.0)
    target(b, f"no-change synchronize vs unison -batch ({a.files} files)", ratio_of(res, "unison -batch"), 0.5)


def hyperfine_crosscheck(b, a, tools):
    """A second opinion on the no-change figures from hyperfine (its runs are not interleaved)."""
    d, env = b.tandrel_env()
    cmds = []
    for t in tools:
        # hyperfine runs every command in our environment: Tandrel's own folders and no display come
        # from env(1); one log collects all its runs here, so it is checked once afterwards.
        if t.get("tandrel"):
            unset = [f"-u {k}" for k in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "TANDREL_DEBUG")]
            cmds.append(" ".join(["env", *unset, *(f"{k}={shq(env[k])}" for k in
                                                   ("TMPDIR", "XDG_STATE_HOME", "XDG_CONFIG_HOME", "XDG_RUNTIME_DIR"))]
                                 + [shq(x) for x in t["cmd"]]))
        else:
            cmds.append(" ".join(shq(x) for x in t["cmd"]))
    names = [x for t in tools for x in ("-n", t["name"])]
    md = os.path.join(b.work, "hyperfine.md")
    log("hyperfine cross-check")
    r = subprocess.run(["hyperfine", "-N", "--warmup", "1", "--runs", str(a.runs), "--export-markdown", md,
                        *names, *cmds],
                       stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True, cwd=b.work)
    fail = check_tandrel(d, r.returncode, r.stderr)
    if os.path.exists(md) and r.returncode == 0:
        with open(md) as f:
            body = f.read()
    else:
        body = f"hyperfine failed: {md_escape(fail or r.stderr)}"
    b.sections.append(f"### hyperfine cross-check (not interleaved)\n\n{body}\n"
                      f"Tandrel run log: {fail or 'OK!'}\n")


def changed_set(a, tree):
    rng = random.Random(a.seed + 1)
    n = max(1, len(tree.files) * a.changed_percent // 100)
    picks = rng.sample(range(len(tree.files)), n)
    out = []
    for i in picks:
        rel, size, off, mt = tree.files[i]
        nsize = rng.randint(1, tree.max_size)
        noff = rng.randrange(tree.max_size + 1)
        out.append((rel, (size, off, mt), (nsize, noff, CHANGED_NS + rng.randrange(10**9))))
    return out


def restore_changed(a, tree, src, dst):
    """Puts back the original state of the files the 'changed' scenario touches, on both sides."""
    for rel, (size, off, mt), _ in changed_set(a, tree):
        for root in (src, dst):
            p = os.path.join(root, rel)
            st = os.lstat(p)
            if st.st_mtime_ns != mt or st.st_size != size:
                write_file(p, tree.content(size, off), mt)


def apply_changes(tree, changes, src, dst):
    """Every changed backup starts from the same state: source changed (new content, newer time, archive
    set), destination holding the old content with the old time."""
    for rel, (size, off, mt), (nsize, noff, nmt) in changes:
        ps, pd = os.path.join(src, rel), os.path.join(dst, rel)
        write_file(ps, tree.content(nsize, noff), nmt)
        drop_user_xattrs(ps)
        write_file(pd, tree.content(size, off), mt)
        drop_user_xattrs(pd)
    os.sync()


def backup_tools(b, src, dst):
    """Tandrel's backup and rsync -a, as the changed-backup scenarios time them."""
    return [*b.tandrel_tools(src, dst, "backup"), {"name": "rsync -a", "cmd": ["rsync", "-a", src + "/", dst + "/"]}]


def check_and_restore(a, tree, changes, src, dst):
    """Compares the trees after a changed backup (the changed files' contents too), then puts them back.
    Returns the difference found, or ""."""
    check = compare_trees(src, dst, sample=[c[0] for c in changes])
    restore_changed(a, tree, src, dst)
    return check


def drop_versions(b, dst):
    """Moves the kept versions of a run aside: every run starts without any, and the trees compare equal."""
    versions = os.path.join(dst, ".tandrel-versions")
    if os.path.exists(versions):
        b.discard(versions)


def scenario_changed(b, a):
    tree = Tree(a.files, a.folders, a.max_size, a.seed)
    src, dst = make_pair(b, f"main-{a.files}-{a.folders}-{a.max_size}-{a.seed}", tree)
    changes = changed_set(a, tree)
    tools = backup_tools(b, src, dst)
    if a.versions:
        # The same program keeping every replaced file, timed in the same rounds.
        tools.insert(1, {**tools[0], "name": "tandrel, versions kept", "ini": "[Config]\nKeepReplacedDays=7\n"})

    def prepare(_tool):
        apply_changes(tree, changes, src, dst)
        drop_versions(b, dst)

    log(f"{a.changed_percent} % changed backup, {len(changes)} of {a.files} files")
    warm(src, dst)
    before = loadavg()
    res = b.compare(tools, a.runs, prepare=prepare)
    after = loadavg()
    drop_versions(b, dst)
    check = check_and_restore(a, tree, changes, src, dst)
    b.sections.append(
        f"## {a.changed_percent} % changed backup ({len(changes)} of {a.files} files)\n\n"
        f"Before every run the changed files get new content and a newer time on the source side and their "
        f"old content and time back on the destination side (outside the timed region, followed by sync). "
        f"Tandrel runs `/!b /!q`.\n\n"
        f"{result_table(res)}\n\nTrees after the last run (changed contents compared): "
        f"{check or 'identical'}.\n\n"
        f"{load_note(before, after)}\n")
    target(b, f"{a.changed_percent} % changed backup vs rsync -a", ratio_of(res, "rsync -a"), 1.0)
    if a.versions:
        kept, plain = res.get("tandrel, versions kept"), res.get("tandrel")
        ratio = None
        if kept and plain and kept.times and plain.times and not kept.failure and not plain.failure:
            ratio = statistics.median(kept.times) / statistics.median(plain.times)
        target(b, f"{a.changed_percent} % changed backup, versions kept vs not", ratio, 1.1)


DROP_CACHES = "/proc/sys/vm/drop_caches"


def drop_caches():
    """Writes dirty pages out, then drops the page cache, dentries and inodes: the next run reads the
    trees, and every program with its libraries, from the disk."""
    os.sync()
    with open(DROP_CACHES, "w") as f:
        f.write("3\n")


def cold_unavailable():
    """Why the caches cannot be dropped here, or None."""
    if os.geteuid() != 0:
        return f"needs root (writing {DROP_CACHES})"
    try:
        drop_caches()
    except OSError as e:  # a container's read-only /proc/sys, for one
        return f"{DROP_CACHES} cannot be written: {e.strerror}"
    return None


def scenario_cold(b, a):
    title = f"Cold caches: no-change synchronize and {a.changed_percent} % changed backup ({a.files} files)"
    sync_what = f"cold no-change synchronize vs rsync -a --dry-run ({a.files} files)"
    backup_what = f"cold {a.changed_percent} % changed backup vs rsync -a"
    why = cold_unavailable()
    if why:
        log(f"cold caches: not measured: {why}")
        b.sections.append(f"## {title}\n\nNot measured: {md_escape(why)}.\n")
        target(b, sync_what, None, 0.7)
        durable(b, backup_what, None)
        return
    tree = Tree(a.files, a.folders, a.max_size, a.seed)
    src, dst = make_pair(b, f"main-{a.files}-{a.folders}-{a.max_size}-{a.seed}", tree)
    restore_changed(a, tree, src, dst)
    changes = changed_set(a, tree)
    log(f"cold caches, {a.files} files: no-change synchronize")
    before = loadavg()
    # The untimed warm-up run of each tool settles its state (Tandrel's archive bits); every run, the
    # warm-up included, starts with the caches dropped.
    sync_res = b.compare([*b.tandrel_tools(src, dst, "sync"),
                          {"name": "rsync -a --dry-run", "cmd": ["rsync", "-a", "--dry-run", src + "/", dst + "/"]}],
                         a.runs, prepare=lambda _t: drop_caches())
    log(f"cold caches: {a.changed_percent} % changed backup, {len(changes)} files")

    def prepare_backup(_tool):
        apply_changes(tree, changes, src, dst)
        drop_caches()

    backup_res = b.compare(backup_tools(b, src, dst), a.runs, prepare=prepare_backup)
    after = loadavg()
    check = check_and_restore(a, tree, changes, src, dst)
    b.sections.append(
        f"## {title}\n\nBefore every run (the untimed warm-up run of each tool included) dirty pages are "
        f"written out and the page cache, dentries and inodes dropped (`sync; echo 3 > {DROP_CACHES}`): each "
        f"run reads the trees, the program and its libraries from the disk, as a user's first run of the "
        f"day does. Then {a.runs} alternating rounds.\n\n"
        f"### No-change synchronize\n\nTandrel runs `/!s /!q`.\n\n{result_table(sync_res)}\n\n"
        f"### {a.changed_percent} % changed backup ({len(changes)} files)\n\nPrepared as in the warm "
        f"scenario (changed files put back, then sync), then the caches dropped. Tandrel runs `/!b /!q`.\n\n"
        f"{result_table(backup_res)}\n\nTrees after the runs (changed contents compared): "
        f"{check or 'identical'}.\n\n{load_note(before, after)}\n")
    target(b, sync_what, ratio_of(sync_res, "rsync -a --dry-run"), 0.7)
    durable(b, backup_what, ratio_of(backup_res, "rsync -a"))


def copy_scenario(b, a, title, src, runs, need_bytes, sample, note):
    """Initial copy of src into a fresh, empty folder per run; the folder is moved aside afterwards."""
    area = os.path.join(b.work, "copies")
    os.makedirs(area, exist_ok=True)
    current = {"n": 0}

    def prepare(tool):
        b.ensure_space(need_bytes)
        current["n"] += 1
        # The destination must exist and carry the source's last folder name.
        tgt = os.path.join(area, f"run{os.getpid()}-{current['n']}", "Data")
        os.makedirs(tgt)
        current["tgt"] = tgt
        tool["cmd"] = tool["make"](tgt)
        warm(src, contents=True)
        os.sync()

    tools = [
        *b.tandrel_tools(src, None, "backup"),
        {"name": "cp -a", "make": lambda t: ["cp", "-a", src + "/.", t]},
        {"name": "rsync -a", "make": lambda t: ["rsync", "-a", src + "/", t + "/"]},
        # Tandrel's run ends when its copies are on disk; cp's when they are in the page cache. This row
        # puts the two on the same footing.
        {"name": "cp -a; sync", "make": lambda t: ["sh", "-c", 'cp -a "$0/." "$1" && sync', src, t]},
    ]
    before = loadavg()
    res = {t["name"]: Result() for t in tools}
    checks = {}
    for r in range(runs):
        # Each round starts with the next tool: the first copy after the trash was emptied meets a slow
        # file system (see README), and no tool should always be the one that pays for it.
        for t in tools[r % len(tools):] + tools[:r % len(tools)]:
            rr = res[t["name"]]
            if rr.failure:
                continue
            prepare(t)
            secs, rss, fail = b.run_tool(t)
            if fail:
                rr.failure = fail
                log(f"  {t['name']} failed: {fail}")
            else:
                rr.times.append(secs)
                rr.rss_kib.append(rss)
                rr.cpu.append(b.last_cpu)
                if r == runs - 1:
                    checks[t["name"]] = compare_trees(src, current["tgt"], sample=sample)
            # Moved aside at once: keeps the page cache for the next run and the deletions for the end.
            b.discard(os.path.dirname(current["tgt"]))
        log(f"  round {r + 1}/{runs}: " + ", ".join(
            f"{n} {fmt_s(v.times[-1])}" for n, v in res.items() if v.times and not v.failure))
    after = loadavg()
    check_text = "; ".join(f"{n}: {c or 'identical'}" for n, c in checks.items())
    b.sections.append(f"## {title}\n\n{note}\n\n{result_table(res)}\n\nCopies of the last round against the "
                      f"source: {check_text or 'not checked'}.\n\n{load_note(before, after)}\n")
    return res


def scenario_initial(b, a):
    tree = Tree(a.files, a.folders, a.max_size, a.seed)
    src, _ = make_pair(b, f"main-{a.files}-{a.folders}-{a.max_size}-{a.seed}", tree)
    total = sum(f[1] for f in tree.files)
    log(f"initial backup of {a.files} files ({total >> 20} MiB) into empty folders")
    res = copy_scenario(
        b, a, f"Initial backup of {a.files} small files ({total >> 20} MiB) into an empty folder", src,
        a.copy_runs, total + a.files * 4096, [f[0] for f in tree.files[::max(1, a.files // 200)]],
        f"Each run copies into a new empty folder (which is moved aside afterwards, not deleted). "
        f"Before each run the source contents are read into the page cache and dirty pages are written out (sync), "
        f"both untimed. {a.copy_runs} alternating rounds, no warm-up run.")
    target(b, f"initial backup of {a.files} small files vs cp -a", ratio_of(res, "cp -a"), 1.0)
    durable(b, f"initial backup of {a.files} small files vs cp -a; sync", ratio_of(res, "cp -a; sync"))


def scenario_large(b, a):
    base = os.path.join(b.work, "trees", f"large-{a.large_mib}")
    src = os.path.join(base, "src", "Data")
    if not os.path.exists(os.path.join(base, "complete")):
        if os.path.exists(base):
            b.discard(base)
        os.makedirs(src)
        log(f"generating 4 files of {a.large_mib} MiB")
        block = random.Random(a.seed).randbytes(2**20)
        for i in range(4):
            with open(os.path.join(src, f"large file {i + 1} é.bin"), "wb") as f:
                for k in range(a.large_mib):
                    # A different first bytes per MiB keeps blocks distinct without a slow generator.
                    f.write(k.to_bytes(8, "little") + block[8:])
            os.utime(os.path.join(src, f"large file {i + 1} é.bin"), ns=(BASE_NS + i, BASE_NS + i))
        open(os.path.join(base, "complete"), "w").close()
    names = sorted(os.listdir(src))
    res = copy_scenario(
        b, a, f"Initial backup of 4 files of {a.large_mib} MiB", src, a.runs, 4 * a.large_mib * 2**20, names,
        f"Each run copies into a new empty folder; the source is read into the page cache and dirty pages "
        f"are written out (sync) before every run, both untimed. {a.runs} alternating rounds.")
    target(b, f"initial backup of 4 x {a.large_mib} MiB vs cp -a", ratio_of(res, "cp -a"), 1.0)
    durable(b, f"initial backup of 4 x {a.large_mib} MiB vs cp -a; sync", ratio_of(res, "cp -a; sync"))


def parse_strace(path):
    """Calls in a full `strace -f` trace, and the six most frequent. Counted line by line because
    `strace -c` leaves out the calls it has no name for (getxattrat in strace 6.1)."""
    counts = {}
    with open(path, errors="replace") as f:
        for ln in f:
            parts = ln.split(None, 1)
            if len(parts) < 2 or parts[1].startswith(("<...", "+++", "---")):
                continue
            m = re.match(r"([A-Za-z_]\w*)\(", parts[1])
            if m:
                name = {"syscall_0x1d0": "getxattrat"}.get(m.group(1), m.group(1))
                counts[name] = counts.get(name, 0) + 1
    rows = sorted(((c, n) for n, c in counts.items()), reverse=True)
    return sum(counts.values()), rows[:6]


def scenario_syscalls(b, a):
    files = a.syscall_files
    tree = Tree(files, max(1, files // 50), a.max_size, a.seed + 7)
    src, dst = make_pair(b, f"sys-{files}-{a.max_size}-{a.seed}", tree)
    tiny = Tree(1, 0, 16, a.seed + 8)
    tsrc, tdst = make_pair(b, f"sys-tiny-{a.seed}", tiny)
    warm(src, dst)
    lines = ["| tool | syscalls (tree) | syscalls (1-file tree) | per file | most frequent (tree) |",
             "|---|---|---|---|---|"]
    per = {}
    for name, mk in [("tandrel /!s", lambda s, d: b.tandrel_cmd(s, d, "sync")),
                     ("tandrel /!b", lambda s, d: b.tandrel_cmd(s, d, "backup")),
                     ("rsync -a --dry-run", lambda s, d: ["rsync", "-a", "--dry-run", s + "/", d + "/"])]:
        counts = []
        top = []
        fail = None
        for s, d in ((src, dst), (tsrc, tdst)):
            out = os.path.join(b.work, "strace.out")
            tool = {"name": name, "tandrel": name.startswith("tandrel"), "cmd": mk(s, d)}
            b.run_tool(tool)  # warm-up: the first run also records archive state
            _, _, fail = b.run_tool(tool, wrap=["strace", "-f", "-qq", "-o", out, "--"])
            if fail:
                break
            c, t = parse_strace(out)
            counts.append(c)
            top = top or t
        if fail:
            lines.append(f"| {name} | FAILED: {md_escape(fail)} | | | |")
            continue
        per[name] = (counts[0] - counts[1]) / files
        lines.append(f"| {name} | {counts[0]} | {counts[1]} | {per[name]:.1f} | "
                     f"{', '.join(f'{n} {c}' for c, n in top)} |")
    b.sections.append(
        f"## System calls of a no-change run ({files} files)\n\nA full `strace -f` trace of the whole run, "
        f"counted line by line (`strace -c` leaves out calls it has no name for), after an untimed warm-up run. Per file = (calls on the tree - calls on a 1-file tree) / files, so start-up "
        f"costs (libraries, Qt) are left out.\n\n" + "\n".join(lines) + "\n")
    if "tandrel /!s" in per and "rsync -a --dry-run" in per:
        b.summary.append(f"| system calls per file, no-change synchronize vs rsync -a --dry-run | (no target) "
                         f"| {per['tandrel /!s']:.1f} vs {per['rsync -a --dry-run']:.1f} | - |")


def read_text(path):
    try:
        with open(path) as f:
            return f.read()
    except OSError:
        return None


def scenario_memory(b, a):
    files = a.memory_files
    tree = Tree(files, max(1, files // 100), 0, a.seed + 11, empty=True)
    src, dst = make_pair(b, f"mem-{files}-{a.seed}", tree)
    tiny = Tree(1, 0, 16, a.seed + 8)
    tsrc, tdst = make_pair(b, f"sys-tiny-{a.seed}", tiny)
    unison_env = dict(os.environ, UNISON=b.unison_dir)
    lines = ["| tool | peak RSS, " + f"{files} files | peak RSS, 1 file | bytes per file |", "|---|---|---|---|"]
    per = {}
    before = loadavg()
    for name, mk, env in [
            ("tandrel /!s", lambda s, d: b.tandrel_cmd(s, d, "sync"), None),
            ("rsync -a --dry-run", lambda s, d: ["rsync", "-a", "--dry-run", s + "/", d + "/"], None),
            ("unison -batch", lambda s, d: ["unison", s, d, "-batch", "-times", "-silent"], unison_env)]:
        peaks = []
        fail = None
        for s, d in ((src, dst), (tsrc, tdst)):
            log(f"memory: {name} on {s}")
            tool = {"name": name, "tandrel": name.startswith("tandrel"), "cmd": mk(s, d), "env": env}
            warm(s, d)
            # Tandrel's first run clears every archive bit and Unison's first run builds its archive:
            # neither is a no-change run, and at a million files each takes minutes, so it is done once
            # per tree pair and remembered.
            ready = os.path.join(os.path.dirname(os.path.dirname(s)), f"warm-{name.split()[0]}")
            stamp = b.tandrel_digest if tool["tandrel"] else "archive present"
            if not name.startswith("rsync") and read_text(ready) != stamp:
                _, _, fail = b.run_tool(tool)
                if fail:
                    break
                with open(ready, "w") as f:
                    f.write(stamp)
            _, rss, fail = b.run_tool(tool)
            if fail:
                break
            peaks.append(rss)
        if fail:
            lines.append(f"| {name} | FAILED: {md_escape(fail)} | | |")
            continue
        per[name] = (peaks[0] - peaks[1]) * 1024 / files
        lines.append(f"| {name} | {fmt_mib(peaks[0])} | {fmt_mib(peaks[1])} | {per[name]:.0f} |")
    after = loadavg()
    b.sections.append(
        f"## Peak memory of a no-change run ({files} empty files in each tree)\n\n"
        f"Maximum resident set size as GNU time reports it (for rsync, which forks, that is its largest "
        f"process). Bytes per file = (peak on the big tree - peak on a 1-file tree) / files.\n\n"
        + "\n".join(lines) + f"\n\n{load_note(before, after)}\n")
    if "tandrel /!s" in per:
        v = per["tandrel /!s"]
        b.summary.append(f"| memory per file at {files} files in each tree | <= 300 bytes | {v:.0f} bytes "
                         f"| {'met' if v <= 300 else 'MISSED'} |")
    else:
        b.summary.append(f"| memory per file at {files} files in each tree | <= 300 bytes | not measured | - |")


def stick_unavailable():
    """Why an exFAT image cannot be mounted here, or None."""
    if os.geteuid() != 0:
        return "needs root (loop device and mount)"
    if not os.path.exists("/dev/fuse") or not os.path.exists("/dev/loop-control"):
        return "no /dev/fuse or no loop devices"
    missing = [c for c in ("mkfs.exfat", "mount.exfat-fuse", "losetup") if not shutil.which(c)]
    return f"missing {', '.join(missing)} (packages exfatprogs, exfat-fuse)" if missing else None


def scenario_stick(b, a):
    files = a.stick_files
    title = f"No-change backup onto an exFAT stick ({files} files)"
    what = "no-change backup onto exFAT vs rsync -a --modify-window=1 --dry-run"
    img, mnt = os.path.join(b.work, "stick.img"), os.path.join(b.work, "stick")
    dev = None

    def skip(why):
        log(f"stick: not measured: {why}")
        b.sections.append(f"## {title}\n\nNot measured: {md_escape(why)}.\n")
        target(b, what, None, 1.0)

    def root_cmd(cmd):
        r = subprocess.run(cmd, capture_output=True, text=True)
        if r.returncode != 0:
            raise RuntimeError(f"{' '.join(cmd)}: {r.stderr.strip()[:200]}")
        return r.stdout.strip()

    why = stick_unavailable()
    if why:
        return skip(why)
    # exFAT ignores case and forbids some characters: the generated names differ in their numbers and use none.
    tree = Tree(files, max(1, files // 50), a.max_size, a.seed + 13)
    src, _ = make_pair(b, f"stick-{files}-{a.max_size}-{a.seed}", tree, pair=False)
    # Every file takes whole clusters of 32 KiB; the image is sparse, so only the copies use disk.
    size = sum(f[1] for f in tree.files) + files * 32768 + 2**28
    b.ensure_space(size)
    try:
        if os.path.ismount(mnt):  # left over by a killed invocation
            root_cmd(["umount", mnt])
        if os.path.exists(img):
            b.discard(img)
        with open(img, "wb") as f:
            f.truncate(size)
        root_cmd(["mkfs.exfat", "-c", "32K", "-L", "STICK", img])
        dev = root_cmd(["losetup", "-f", "--show", img])
        os.makedirs(mnt, exist_ok=True)
        # The kernel here has no exfat module; the FUSE driver keeps whole seconds.
        root_cmd(["mount.exfat-fuse", dev, mnt])
        stick = os.path.join(mnt, "Data")
        os.mkdir(stick)
        log(f"stick: first backup of {files} files onto {dev} (untimed)")
        first = {"name": "tandrel", "tandrel": True, "cmd": b.tandrel_cmd(src, stick, "backup")}
        _, _, fail = b.run_tool(first)
        fail = fail or compare_trees(src, stick, window_ns=10**9)
        if fail:
            return skip(f"the first backup failed: {fail}")
        # Markers: same size and time as the source, other contents; a run that copies one undoes that.
        markers = [f[0] for f in tree.files if f[1]][::max(1, files // 20)]
        for rel in markers:
            p = os.path.join(stick, rel)
            with open(p, "rb") as f:
                data = bytes(255 - x for x in f.read())
            write_file(p, data, os.stat(os.path.join(src, rel)).st_mtime_ns)
        tools = [first, {"name": "rsync -a --modify-window=1 --dry-run",
                         "cmd": ["rsync", "-a", "--modify-window=1", "--dry-run", src + "/", stick + "/"]}]
        warm(src, stick)
        before = loadavg()
        res = b.compare(tools, a.runs)
        after = loadavg()
        check = compare_trees(src, stick, window_ns=10**9)
        kept = 0
        for rel in markers:
            with open(os.path.join(src, rel), "rb") as fs, open(os.path.join(stick, rel), "rb") as fd:
                kept += fs.read() != fd.read()
        b.sections.append(
            f"## {title}\n\nThe tree is copied onto a new exFAT image (loop device, FUSE driver "
            f"mount.exfat-fuse, which keeps whole seconds) by a first Tandrel backup, outside the timed region. "
            f"Then {len(markers)} copies on the stick get other contents with the same size and time as their "
            f"source, and Tandrel `/!b /!q` and rsync take turns on the unchanged trees: one untimed warm-up "
            f"run each, then {a.runs} alternating rounds.\n\n{result_table(res)}\n\n"
            f"Stick after the runs: {check or 'identical (times within 1 s)'}; markers left alone (nothing copied): "
            f"{kept} of {len(markers)}.\n\n{load_note(before, after)}\n")
        if kept < len(markers):
            log(f"stick: Tandrel copied files: {len(markers) - kept} of {len(markers)} markers overwritten")
        target(b, what, ratio_of(res, "rsync -a --modify-window=1 --dry-run"), 1.0)
    except RuntimeError as e:
        skip(str(e))
    finally:
        if os.path.ismount(mnt):
            # Lazily when busy, so the loop device can still go.
            if subprocess.run(["umount", mnt]).returncode != 0:
                subprocess.run(["umount", "-l", mnt])
        if dev:
            subprocess.run(["losetup", "-d", dev])
        if os.path.exists(img):
            b.discard(img)


# ---------------------------------------------------------------------------------------------------


def machine_text(b):
    def cmd(c):
        try:
            return subprocess.run(c, capture_output=True, text=True).stdout.strip().splitlines()[0]
        except (OSError, IndexError):
            return "?"

    cpu = "?"
    with open("/proc/cpuinfo") as f:
        for ln in f:
            if ln.startswith("model name"):
                cpu = ln.split(":", 1)[1].strip()
                break
    mem = "?"
    with open("/proc/meminfo") as f:
        for ln in f:
            if ln.startswith("MemTotal"):
                mem = f"{int(ln.split()[1]) >> 20} GiB"
    fs = cmd(["findmnt", "-n", "-o", "FSTYPE,OPTIONS", "-T", b.work])
    repo = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    head = cmd(["git", "-C", repo, "rev-parse", "--short", "HEAD"])
    st = os.stat(b.args.tandrel)
    return "\n".join([
        f"- Date: {datetime.datetime.now().strftime('%Y-%m-%d %H:%M')}",
        f"- CPU: {cpu}, nproc {os.cpu_count()}; memory {mem}",
        f"- Kernel: {platform.release()}",
        f"- File system of {b.work}: {fs}",
        f"- Tandrel: copy of {b.args.tandrel} (built {datetime.datetime.fromtimestamp(st.st_mtime):%Y-%m-%d %H:%M}, "
        f"repository HEAD {head} when the report was written)",
        f"- {cmd(['rsync', '--version'])}; {cmd(['unison', '-version'])}; {cmd(['cp', '--version'])}",
    ])


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    p = argparse.ArgumentParser(description="Tandrel against rsync, cp and Unison.")
    p.add_argument("--files", type=int, default=100_000, help="files in the main trees (default 100000)")
    p.add_argument("--folders", type=int, help="folders in the main trees (default files / 50)")
    p.add_argument("--max-size", type=int, default=64 * 1024, help="largest small file in bytes (default 64 KiB)")
    p.add_argument("--quick", action="store_true", help="small sizes: a smoke run of about a minute")
    p.add_argument("--scenario", action="append", choices=SCENARIOS + ["all"],
                   help="scenario to run (repeatable; default all)")
    p.add_argument("--out", help="Markdown report (default WORK/report.md)")
    p.add_argument("--work", default=os.environ.get("TANDREL_BENCH_DIR", "/var/tmp/tandrel-bench"),
                   help="bench folder for trees and run folders (default /var/tmp/tandrel-bench)")
    p.add_argument("--tandrel", default=os.path.join(os.path.dirname(here), "build-release", "tandrel"))
    p.add_argument("--baseline", help="a second Tandrel program timed in the same rounds (the build before a change)")
    p.add_argument("--runs", type=int, help="timed rounds per scenario (default 7, quick 3)")
    p.add_argument("--copy-runs", type=int, help="rounds of the many-small-files copy (default 3)")
    p.add_argument("--memory-files", type=int, help="empty files per tree for memory (default 1000000)")
    p.add_argument("--syscall-files", type=int, help="files for the system-call count (default 10000)")
    p.add_argument("--stick-files", type=int, help="files for the backup onto exFAT (default 20000)")
    p.add_argument("--large-mib", type=int, help="size of each of the 4 large files in MiB (default 256)")
    p.add_argument("--changed-percent", type=int, default=1)
    p.add_argument("--versions", action="store_true",
                   help="changed: also time the backup keeping replaced files (KeepReplacedDays=7)")
    p.add_argument("--seed", type=int, default=20240611)
    p.add_argument("--settle", type=int, help="seconds to wait after deleting trees (default 60, quick 0)")
    p.add_argument("--hyperfine", action="store_true", help="also time the no-change run with hyperfine")
    p.add_argument("--keep-trash", action="store_true", help="do not delete moved-aside trees at the end")
    a = p.parse_args()
    q = a.quick
    if q and a.files == 100_000:
        a.files = 2_000
    a.folders = a.folders or max(1, a.files // 50)
    a.runs = a.runs or (3 if q else 7)
    a.copy_runs = a.copy_runs or 3
    a.memory_files = a.memory_files or (20_000 if q else 1_000_000)
    a.syscall_files = a.syscall_files or (2_000 if q else 10_000)
    a.stick_files = a.stick_files or (2_000 if q else 20_000)
    a.large_mib = a.large_mib or (16 if q else 256)
    a.settle = a.settle if a.settle is not None else (0 if q else 60)
    scenarios = SCENARIOS if not a.scenario or "all" in a.scenario else [s for s in SCENARIOS if s in a.scenario]
    if not os.access(a.tandrel, os.X_OK):
        raise SystemExit(f"no Tandrel program at {a.tandrel} (build it or pass --tandrel)")

    b = Bench(a)
    b.empty_trash(a.settle)
    started = time.time()
    for s in scenarios:
        globals()[f"scenario_{s}"](b, a)
    took = time.time() - started

    out = a.out or os.path.join(b.work, "report.md")
    summary = ["| target | limit (Tandrel / other) | measured | |", "|---|---|---|---|"] + b.summary
    text = "\n".join([
        f"# Tandrel benchmark{' (quick)' if q else ''}",
        "",
        machine_text(b),
        f"- Command: `bench/run.sh {' '.join(sys.argv[1:])}`; took {took / 60:.1f} min",
        f"- Trees: seed {a.seed}; small files of 0 to {a.max_size} bytes, names with blanks and UTF-8; "
        f"the two sides of a pair made identical with cp -a",
        "",
        "## Targets",
        "",
        *summary,
        "",
        *b.sections,
    ])
    with open(out, "w") as f:
        f.write(text + "\n")
    print(text)
    log(f"report written to {out}")
    if not a.keep_trash:
        b.empty_trash(0)


if __name__ == "__main__":
    main()
