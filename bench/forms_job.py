#!/usr/bin/env python3
"""Several forms in one export, as a user runs it: a database with three local file targets in
three forms (bcrypt cost 5, SHA-512-crypt with 1,000 rounds, MD5) against the same database with
one MD5 file target, each exported once to fill its hashes and then again with nothing changed.

    bench/forms_job.py --build BUILD [--users 100000] [--runs 5] [--work DIR]

BUILD is a build folder (Release). The database is made once by the build's bench_userdb --make.
The two unchanged re-exports alternate within every round so that a change in the machine's load
meets both alike; the figures are medians of the rounds: wall time, processor time (user and
system, from wait4) and peak resident memory. The bar: the three forms' unchanged re-export at
most 1.2 times the one form's. The first exports are timed once each (the three forms' costs
the bcrypt hashing: minutes at 100,000 users); bench_forms compares them with single-form builds.
"""

import argparse
import os
import shutil
import statistics
import subprocess
import tempfile

from compare import load_average, run

FORMS = (("bcrypt", ["--cost", "5"]), ("sha512", ["--rounds", "1000"]), ("md5", []))


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", required=True, help="build folder (Release)")
    parser.add_argument("--users", type=int, default=100000)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--work", help="folder for the databases (default: a temporary one)")
    args = parser.parse_args()

    cli = os.path.join(args.build, "src", "cli", "quorvane-cli")
    work = args.work or tempfile.mkdtemp(prefix="quorvane-forms-")
    os.makedirs(work, exist_ok=True)
    made = os.path.join(work, f"users-{args.users}.udx")
    if not os.path.exists(made):
        subprocess.run([os.path.join(args.build, "bench", "bench_userdb"), "--make", made,
                        str(args.users)], check=True)
    env = dict(os.environ, XDG_STATE_HOME=os.path.join(work, "state"))
    shutil.rmtree(env["XDG_STATE_HOME"], ignore_errors=True)
    os.makedirs(env["XDG_STATE_HOME"])

    def quiet(argv):
        subprocess.run(argv, check=True, env=env, stdout=subprocess.DEVNULL)

    dbs = {"one": os.path.join(work, "one.udx"), "three": os.path.join(work, "three.udx")}
    for db in dbs.values():
        shutil.copyfile(made, db)
        os.chmod(db, 0o600)
    quiet([cli, "target", dbs["one"], "--file", os.path.join(work, "one.htpasswd")])
    for i, (form, param) in enumerate(FORMS):
        where = ["--file", os.path.join(work, f"three-{form}.htpasswd"), "--format", form] + param
        quiet([cli, "target", dbs["three"]] + (where if i == 0 else ["add", form] + where))

    print(f"load average before: {load_average()}", flush=True)
    for name, db in dbs.items():
        wall, cpu, peak = run([cli, "export", db], env=env)
        print(f"first export, {name} form(s): {wall:.2f} s wall, {cpu:.2f} s cpu, "
              f"{peak / 1024:.0f} MiB", flush=True)
    figures = {name: [] for name in dbs}
    for _ in range(args.runs):
        for name, db in dbs.items():
            figures[name].append(run([cli, "export", db], env=env))
    median = {name: [statistics.median(f[i] for f in got) for i in range(3)]
              for name, got in figures.items()}
    for name, (wall, cpu, peak) in median.items():
        print(f"unchanged re-export, {name} form(s): {wall:.3f} s wall, {cpu:.3f} s cpu, "
              f"{peak / 1024:.0f} MiB (median of {args.runs})")
    print(f"three forms against one, unchanged: {median['three'][1] / median['one'][1]:.2f}x cpu, "
          f"{median['three'][0] / median['one'][0]:.2f}x wall (bar: 1.2x)")
    print(f"load average after: {load_average()}")


if __name__ == "__main__":
    main()
