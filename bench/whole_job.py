#!/usr/bin/env python3
"""The export a user runs every day, old against new in one run: the first export of a database,
the export again with nothing changed, its --dry-run, the export after one user's password
changed, and the export of a day on which one user's expiry passed (the export disables that
user in the database before it writes the file), each through quorvane-cli as a user runs it.

    bench/whole_job.py --old OLD_BUILD --new NEW_BUILD [--users 100000,1000000] [--runs 3]
                       [--work DIR] [--openssl] [--left-out-every K]

OLD_BUILD and NEW_BUILD are build folders (Release); the databases are made once by the new
build's bench_userdb --make (MD5, the form a database starts with). Each side exports its own
copy of the database to a file of its own, with a state folder of its own (XDG_STATE_HOME: the
kept versions of the file and the account's key), and each round starts from a fresh copy
without a state. The sides alternate within every round so that a change in the machine's load
meets both alike; every figure is the median of the rounds: wall time, processor time (user and
system, from wait4) and peak resident memory, the latter also against the database file's size.
The load average is printed before and after.

With --openssl each round also hashes the users the export writes with OpenSSL's MD5, one after
another on one thread (bench_export --openssl-apr1), and the first and unchanged exports are
given as that scalar baseline's processor time over theirs.
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from compare import load_average, run  # noqa: E402

STEPS = ("first", "unchanged", "dry-run", "one changed", "one expired")


def cli(build):
    return os.path.join(build, "src", "cli", "quorvane-cli")


def database(work, build, users, left_out_every=0):
    """The database of users users in work (made once by build's bench_userdb --make, MD5) and
    the logins of its first two users an export writes (enabled, never expiring): a changed
    password of a user left out would change nothing, nor would its expiry. With left_out_every = k, every k-th user is
    disabled and none has expired (the default database leaves out 43%)."""
    name = f"users-{users}" + (f"-every{left_out_every}" if left_out_every else "")
    db = os.path.join(work, name + ".udx")
    if not os.path.exists(db):
        subprocess.run([os.path.join(build, "bench", "bench_userdb"), "--make", db, str(users)] +
                       ([str(left_out_every)] if left_out_every else []), check=True)
    listed = subprocess.Popen([cli(build), "list", db, "--enabled"], stdout=subprocess.PIPE)
    logins = []
    for line in listed.stdout:
        fields = line.decode().split("\t")
        if len(logins) < 2 and fields[2] == "Never":
            logins.append(fields[0])
    listed.wait()
    return db, logins


def one_round(side, build, db, folder, logins):
    """The steps on a fresh copy: {step: (wall, cpu, peak KiB)}."""
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(os.path.join(folder, "state"))
    work = os.path.join(folder, "work.udx")
    shutil.copyfile(db, work)
    run(["cat", work])  # cached, as a daily run finds it
    out = os.path.join(folder, "htpasswd")
    env = dict(os.environ, XDG_STATE_HOME=os.path.join(folder, "..", side + "-home"))
    os.makedirs(env["XDG_STATE_HOME"], exist_ok=True)
    export = [cli(build), "export", work, "--output", out, "--quiet"]
    got = {}
    got["first"] = run(export, env=env)
    got["unchanged"] = run(export, env=env)
    got["dry-run"] = run(export + ["--dry-run"], env=env)
    run([cli(build), "passwd", work, logins[0], "--password-stdin"], env=env,
        given=b"a-changed-password\n")
    got["one changed"] = run(export, env=env)
    run([cli(build), "expire", work, logins[1], "--on", "2000-01-01"], env=env)
    run(["cat", work])
    got["one expired"] = run(export, env=env)
    return got


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--old", required=True, help="build folder of the older version")
    parser.add_argument("--new", required=True, help="build folder of the newer version")
    parser.add_argument("--users", default="100000,1000000")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--work", help="folder for the databases (default: a temporary one)")
    parser.add_argument("--openssl", action="store_true",
                        help="set the exports against OpenSSL's scalar apr1 on the same users")
    parser.add_argument("--left-out-every", type=int, default=0, metavar="K",
                        help="a database where every K-th user is disabled and none has expired "
                        "(10: the export writes 90%% of the users)")
    args = parser.parse_args()

    work = args.work or tempfile.mkdtemp(prefix="quorvane-job-")
    os.makedirs(work, exist_ok=True)
    print(f"load average before: {load_average()}", flush=True)
    print("wall: elapsed seconds; cpu: user + system seconds; peak: resident MiB and against "
          "the database file")
    print(f"{'users':>9} {'step':<12} {'old wall':>8} {'new wall':>8} {'ratio':>6} "
          f"{'old cpu':>8} {'new cpu':>8} {'ratio':>6} {'old MiB':>8} {'new MiB':>8} "
          f"{'old x':>6} {'new x':>6}")
    for users in [int(u) for u in args.users.split(",")]:
        db, logins = database(work, args.new, users, args.left_out_every)
        size = os.path.getsize(db)
        scratch = tempfile.mkdtemp(dir=work)
        figures = {side: {step: [] for step in STEPS} for side in ("old", "new")}
        scalar = []  # (hashes, processor seconds) of OpenSSL's apr1, one per round
        for _ in range(args.runs):
            for side in ("old", "new"):
                got = one_round(side, getattr(args, side), db,
                                os.path.join(scratch, side), logins)
                for step in STEPS:
                    figures[side][step].append(got[step])
            if args.openssl:
                out = subprocess.run([os.path.join(args.new, "bench", "bench_export"),
                                      "--openssl-apr1", db], capture_output=True, check=True,
                                     text=True).stdout.split()
                scalar.append((int(out[0]), float(out[1])))
        for step in STEPS:
            med = {side: [statistics.median(f[i] for f in figures[side][step])
                          for i in range(3)] for side in ("old", "new")}
            (ow, oc, op), (nw, nc, np) = med["old"], med["new"]
            print(f"{users:>9} {step:<12} {ow:8.3f} {nw:8.3f} {nw / ow:6.2f} {oc:8.3f} "
                  f"{nc:8.3f} {nc / max(oc, 1e-3):6.2f} {op / 1024:8.0f} {np / 1024:8.0f} "
                  f"{op * 1024 / size:6.2f} {np * 1024 / size:6.2f}", flush=True)
        print(f"{users:>9} {'(file)':<12} {size / 2**20:.0f} MiB", flush=True)
        if scalar:
            base = statistics.median(cpu for _, cpu in scalar)
            print(f"{users:>9} OpenSSL's scalar apr1 on the same {scalar[0][0]} users: "
                  f"{base:.3f} s cpu; against it, in cpu:", flush=True)
            for step in ("first", "unchanged"):
                old, new = (statistics.median(f[1] for f in figures[side][step])
                            for side in ("old", "new"))
                print(f"{users:>9}   {step:<10} old {base / max(old, 1e-3):6.1f}x  "
                      f"new {base / max(new, 1e-3):6.1f}x", flush=True)
        shutil.rmtree(scratch, ignore_errors=True)
    print(f"load average after: {load_average()}")
    if not args.work:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
