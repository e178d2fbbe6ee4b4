#!/usr/bin/env python3
"""Old against new, in one run: the command-line tool's info, verify, list, sweep, exports in
every form and import-htpasswd, and the desktop program's open, timed side by side on the same
databases.

    bench/compare.py --old OLD_BUILD --new NEW_BUILD [--users 10000,100000,1000000]
                     [--runs 5] [--work DIR] [--only info,list,...]

OLD_BUILD and NEW_BUILD are build folders (Release) of two versions; the older one needs only
quorvane-cli (and bench/bench_mainwindow for the desktop open). The databases are made once by
the new build's bench_userdb --make. The slow forms ("export sha512", "export sha256",
"export bcrypt": minutes for a large database) run only when named in --only. Runs of the two
alternate (old, new, old, new, ...) so that a change in the machine's load meets both alike;
every figure is the median of the runs. Each line also gives the peak resident memory (both
sides' medians are shown), and for info, verify and sweep the ratio to `wc -l` on the same
cached file. verify checks a wrong password of the database's first user: the whole file is
read all the same, as a later namesake would stand for that user. The load average is printed
before and after.
"""

import argparse
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time


def run(argv, stdout=subprocess.DEVNULL, env=None, given=None, statuses=(0,)):
    """Wall time and processor time (user and system) in seconds, and peak resident memory in
    KiB, of one process; given: the bytes on its standard input; statuses: the exit statuses
    that are no failure."""
    start = time.perf_counter()
    proc = subprocess.Popen(argv, stdout=stdout, stderr=subprocess.PIPE, env=env,
                            stdin=subprocess.PIPE if given is not None else None)
    if given is not None:
        proc.stdin.write(given)
        proc.stdin.close()
    _, status, usage = os.wait4(proc.pid, 0)
    elapsed = time.perf_counter() - start
    err = proc.stderr.read().decode(errors="replace")
    proc.stderr.close()
    if os.waitstatus_to_exitcode(status) not in statuses:
        sys.exit(f"failed: {' '.join(argv)}\n{err}")
    return elapsed, usage.ru_utime + usage.ru_stime, usage.ru_maxrss


def load_average():
    return "%.2f %.2f %.2f" % os.getloadavg()


def commands(cli, db, scratch, login="nobody"):
    """The timed commands: (name, argv, whether each run needs a fresh copy of the database).
    import-htpasswd takes the database's MD5 password file (made once by the new build) into
    an empty database (made afresh for each run)."""
    out = os.path.join(scratch, "htpasswd")
    export = [cli, "export", db, "--output", out, "--format"]
    return [
        ("info", [cli, "info", db], False),
        ("verify", [cli, "verify", db, login], False),
        ("list", [cli, "list", db], False),
        ("sweep", [cli, "sweep", db], True),
        ("export md5", export + ["md5"], True),
        ("export plain", export + ["plain"], True),
        ("export sha512", export + ["sha512"], True),
        ("export sha256", export + ["sha256", "--rounds", "1000"], True),
        ("export bcrypt", export + ["bcrypt", "--cost", "4"], True),
        ("import-htpasswd", [cli, "import-htpasswd", db, os.path.join(scratch, "taken.htpasswd"),
                             "--quiet"], True),
    ]


# Minutes on every processor for a large database: run only when named in --only.
SLOW = {"export sha512", "export sha256", "export bcrypt"}


def compare_cli(args, db, users, scratch):
    rows = []
    work_db = os.path.join(scratch, "work.udx")
    wc, wc_cpu = [], []
    for _ in range(args.runs):
        t, cpu, _ = run(["wc", "-l", db])
        wc.append(t)
        wc_cpu.append(cpu)
    wc_median = statistics.median(wc)
    wc_cpu_median = statistics.median(wc_cpu)
    # verify checks a wrong password of the database's first user (exit status 3).
    first = subprocess.run([os.path.join(args.new, "src", "cli", "quorvane-cli"), "list", db],
                           capture_output=True, check=True).stdout.split(b"\t", 1)[0]
    login = first.decode("utf-8", "surrogateescape")
    new_cli = os.path.join(args.new, "src", "cli", "quorvane-cli")
    for name, _, fresh in commands("", work_db, scratch):
        if (args.only and name not in args.only) or (not args.only and name in SLOW):
            continue
        source = db
        if name == "import-htpasswd":
            source = os.path.join(scratch, "empty.udx")
            subprocess.run([new_cli, "create", source], check=True, capture_output=True)
            # From a copy: an export disables the expired users of the database it reads.
            shutil.copyfile(db, work_db)
            subprocess.run([new_cli, "export", work_db, "--output",
                            os.path.join(scratch, "taken.htpasswd"), "--format", "md5",
                            "--quiet"], check=True, capture_output=True,
                           env=dict(os.environ, XDG_STATE_HOME=os.path.join(scratch, "state")))
        times = {"old": [], "new": []}
        cpus = {"old": [], "new": []}
        peaks = {"old": [], "new": []}
        for _ in range(args.runs):
            for side in ("old", "new"):
                cli = os.path.join(getattr(args, side), "src", "cli", "quorvane-cli")
                argv = dict((n, a) for n, a, _ in commands(cli, work_db, scratch, login))[name]
                # A fresh copy comes with no state: every export is a first export, and the
                # two versions never read what the other kept.
                state = os.path.join(scratch, side + "-state")
                if fresh or not os.path.exists(work_db):
                    shutil.copyfile(source, work_db)
                    shutil.rmtree(state, ignore_errors=True)
                    run(["cat", work_db])  # cached, as the first run would find it
                env = dict(os.environ, XDG_STATE_HOME=state)
                if name == "verify":
                    t, cpu, peak = run(argv, env=env, given=b"not-the-password\n",
                                       statuses=(3,))
                else:
                    t, cpu, peak = run(argv, env=env)
                times[side].append(t)
                cpus[side].append(cpu)
                peaks[side].append(peak)
        old, new = statistics.median(times["old"]), statistics.median(times["new"])
        old_cpu, new_cpu = statistics.median(cpus["old"]), statistics.median(cpus["new"])
        wc_rows = name in ("info", "verify", "sweep")
        rows.append((users, name, old, new, old_cpu, new_cpu,
                     statistics.median(peaks["old"]), statistics.median(peaks["new"]),
                     new / wc_median if wc_rows else None,
                     new_cpu / max(wc_cpu_median, 1e-3) if wc_rows else None))
    size = os.path.getsize(db)
    return rows, (wc_median, wc_cpu_median), size


def desktop_open(build, db, runs):
    """Median time of the main window's open, from the bench program's own repetitions."""
    program = os.path.join(build, "bench", "bench_mainwindow")
    if not os.path.exists(program):
        return None
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    if db:
        env["QUORVANE_BENCH_DATABASE"] = db
    result = subprocess.run(
        [program, "--benchmark_filter=BM_OpenDatabase", "--benchmark_format=json",
         f"--benchmark_repetitions={runs}"],
        capture_output=True, text=True, env=env, check=True)
    data = json.loads(result.stdout)
    times = [b["real_time"] for b in data["benchmarks"] if b.get("run_type") == "iteration"]
    return statistics.median(times) if times else None


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--old", required=True, help="build folder of the older version")
    parser.add_argument("--new", required=True, help="build folder of the newer version")
    parser.add_argument("--users", default="10000,100000,1000000")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--work", help="folder for the databases (default: a temporary one)")
    parser.add_argument("--only", help="comma-separated commands, or 'desktop'")
    args = parser.parse_args()
    args.only = set(args.only.split(",")) if args.only else None

    work = args.work or tempfile.mkdtemp(prefix="quorvane-compare-")
    os.makedirs(work, exist_ok=True)
    maker = os.path.join(args.new, "bench", "bench_userdb")
    print(f"load average before: {load_average()}")
    print("wall: elapsed seconds; cpu: user + system seconds; /wc: new against wc -l")
    print(f"{'users':>9} {'command':<15} {'old wall':>8} {'new wall':>8} {'ratio':>6} "
          f"{'old cpu':>8} {'new cpu':>8} {'ratio':>6} {'old MiB':>8} {'new MiB':>8} "
          f"{'wall/wc':>7} {'cpu/wc':>7}")
    for users in [int(u) for u in args.users.split(",")]:
        db = os.path.join(work, f"users-{users}.udx")
        if not os.path.exists(db):
            subprocess.run([maker, "--make", db, str(users)], check=True)
        scratch = tempfile.mkdtemp(dir=work)
        if not args.only or args.only - {"desktop"}:
            rows, wc, size = compare_cli(args, db, users, scratch)
            for (users_, name, old, new, old_cpu, new_cpu, old_peak, new_peak, to_wc,
                 cpu_to_wc) in rows:
                wc_text = (f"{to_wc:7.1f} {cpu_to_wc:7.1f}" if to_wc is not None else "")
                print(f"{users_:>9} {name:<15} {old:8.3f} {new:8.3f} {new / old:6.2f} "
                      f"{old_cpu:8.3f} {new_cpu:8.3f} {new_cpu / max(old_cpu, 1e-3):6.2f} "
                      f"{old_peak / 1024:8.0f} {new_peak / 1024:8.0f} {wc_text}", flush=True)
            if rows:
                print(f"{users:>9} {'(file)':<15} {size / 2**20:.0f} MiB; wc -l {wc[0]:.3f} s "
                      f"wall, {wc[1]:.3f} s cpu; new peak {rows[0][7] * 1024 / size:.2f}x and "
                      f"old {rows[0][6] * 1024 / size:.2f}x the file ({rows[0][1]})", flush=True)
        shutil.rmtree(scratch, ignore_errors=True)
        if not args.only or "desktop" in args.only:
            if users == 100000:
                old_ms = desktop_open(args.old, None, args.runs)
                new_ms = desktop_open(args.new, None, args.runs)
                if old_ms and new_ms:
                    print(f"{users:>9} {'desktop open':<15} {old_ms / 1000:8.3f} "
                          f"{new_ms / 1000:8.3f} {new_ms / old_ms:7.2f}", flush=True)
            elif users >= 1000000:
                new_ms = desktop_open(args.new, db, max(1, args.runs // 2))
                if new_ms:
                    print(f"{users:>9} {'desktop open':<15} {'':>8} {new_ms / 1000:8.3f}",
                          flush=True)
    print(f"load average after: {load_average()}")
    if not args.work:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
