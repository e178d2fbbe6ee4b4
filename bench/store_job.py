#!/usr/bin/env python3
"""The sync a user runs every day against a store, old against new in one run: the first export
of a database to a SQLite file, a PostgreSQL database and an LDAP directory, the export again
with nothing changed, and the export after one user's password changed (`passwd` between), each
through quorvane-cli as a user runs it (the database read, the state, the hash cache, the store).
The same steps exported to a local file show what of it is the store's.

    bench/store_job.py --old OLD_BUILD --new NEW_BUILD [--stores sqlite,postgresql,ldap]
                       [--users 1000000] [--ldap-users 100000] [--runs 3] [--work DIR]

OLD_BUILD and NEW_BUILD are build folders (Release); the databases are made once by the new
build's bench_userdb --make (MD5; the LDAP target writes SHA-512-crypt with 1,000 rounds, as a
directory checks no $apr1$). The servers are started once per run in a temporary folder and
stopped by their process id: PostgreSQL (initdb, a unix socket only, fsync off) and slapd (on
127.0.0.1, StartTLS with a certificate made at start). Each side syncs its own copy of the
database to a store of its own, with a state folder of its own, and each round starts afresh.
The sides alternate within every round, and the store's own bulk path loads the rows the first
sync wrote (sqlite3 .import, psql \\copy, tables made first, one transaction) in the same round,
so that a change in the machine's load meets all alike. Every figure is the median of the
rounds: wall time, the client's processor time (user and system, from wait4), the server's
(from /proc: its processes' times, the ended backends' included), peak resident memory of the
client and against the database file; for LDAP also the entries the step wrote (their
modifyTimestamp). The load average is printed before and after.
"""

import argparse
import os
import shutil
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from compare import load_average, run  # noqa: E402
from whole_job import cli, database  # noqa: E402

STEPS = ("first", "unchanged", "one changed")
SUFFIX = "dc=example,dc=org"
ADMIN = "cn=admin," + SUFFIX
ADMIN_PW = "bench-secret"
TICK = os.sysconf("SC_CLK_TCK")


def process_cpu(pid):
    """Seconds of processor time of pid and its living children, the ended ones it reaped
    included (a PostgreSQL backend ends with its connection)."""
    total = 0
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/stat") as f:
                fields = f.read().rsplit(")", 1)[1].split()
        except OSError:
            continue
        # fields[0] is the state; utime, stime, cutime, cstime are fields 14-17 of stat.
        ppid, times = int(fields[1]), [int(v) for v in fields[11:15]]
        if int(entry) == pid:
            total += sum(times)
        elif ppid == pid:
            total += times[0] + times[1]
    return total / TICK


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_until(ready, what, proc, log):
    for _ in range(300):
        if ready():
            return
        if proc.poll() is not None:
            break
        time.sleep(0.1)
    sys.exit(f"{what} did not start:\n{open(log).read()}")


class Server:
    """A server process started in a folder of its own, stopped by its process id."""

    def __init__(self, folder):
        self.folder = folder
        self.proc = None

    def cpu(self):
        # A backend that just ended is reaped by its parent a moment later.
        time.sleep(0.2)
        return process_cpu(self.proc.pid)

    def stop(self):
        if self.proc is not None and self.proc.poll() is None:
            os.kill(self.proc.pid, signal.SIGINT)
            self.proc.wait(timeout=60)


class Postgres(Server):
    BIN = "/usr/lib/postgresql/15/bin/"

    def __init__(self, folder):
        super().__init__(folder)
        os.makedirs(folder)
        os.chmod(folder, 0o755)
        self.as_user = []
        if os.geteuid() == 0:  # initdb refuses root: the cluster belongs to postgres
            shutil.chown(folder, "postgres", "postgres")
            self.as_user = ["setpriv", "--reuid=postgres", "--regid=postgres",
                            "--clear-groups", "--"]
        data, log = os.path.join(folder, "data"), os.path.join(folder, "server.log")
        subprocess.run(self.as_user + [self.BIN + "initdb", "-D", data, "-U", "quorvane",
                                       "-A", "trust"], check=True, stdout=subprocess.DEVNULL)
        with open(log, "w") as out:
            self.proc = subprocess.Popen(
                self.as_user + [self.BIN + "postgres", "-D", data, "-k", folder, "-c",
                                "listen_addresses=", "-c", "fsync=off"],
                stdout=out, stderr=subprocess.STDOUT)
        wait_until(lambda: subprocess.run(["pg_isready", "-q", "-h", folder]).returncode == 0,
                   "postgres", self.proc, log)
        self.count = 0

    def psql(self, db, *args):
        subprocess.run(["psql", "-q", "-X", "-v", "ON_ERROR_STOP=1", "-h", self.folder, "-U",
                        "quorvane", "-d", db] + list(args), check=True, stdout=subprocess.DEVNULL)

    def new_place(self):
        self.count += 1
        name = f"b{self.count}"
        self.psql("postgres", "-c", f"CREATE DATABASE {name}")
        return name

    def url(self, name):
        return f"postgresql://quorvane@/{name}?host={self.folder}"


class Slapd(Server):
    def __init__(self, folder):
        super().__init__(folder)
        os.makedirs(os.path.join(folder, "db"))
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                        "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1",
                        "-keyout", f"{folder}/key.pem", "-out", f"{folder}/cert.pem"],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        conf = "".join(f"include /etc/ldap/schema/{s}.schema\n"
                       for s in ("core", "cosine", "inetorgperson", "nis"))
        conf += (f"pidfile {folder}/slapd.pid\nmodulepath /usr/lib/ldap\nmoduleload back_mdb\n"
                 f"TLSCertificateFile {folder}/cert.pem\nTLSCertificateKeyFile {folder}/key.pem\n"
                 f"database mdb\nmaxsize 8589934592\nsuffix \"{SUFFIX}\"\nrootdn \"{ADMIN}\"\n"
                 f"rootpw {ADMIN_PW}\ndirectory {folder}/db\ndbnosync\n"
                 "index objectClass,uid,cn,description eq\n")
        with open(os.path.join(folder, "slapd.conf"), "w") as f:
            f.write(conf)
        self.port = free_port()
        log = os.path.join(folder, "server.log")
        with open(log, "w") as out:
            self.proc = subprocess.Popen(
                ["/usr/sbin/slapd", "-d", "0", "-h", f"ldap://127.0.0.1:{self.port}/", "-f",
                 os.path.join(folder, "slapd.conf")], stdout=out, stderr=subprocess.STDOUT)

        def accepts():
            with socket.socket() as s:
                return s.connect_ex(("127.0.0.1", self.port)) == 0
        wait_until(accepts, "slapd", self.proc, log)
        os.environ["LDAPTLS_CACERT"] = os.path.join(folder, "cert.pem")
        self.add(f"dn: {SUFFIX}\nobjectClass: dcObject\nobjectClass: organization\n"
                 "dc: example\no: Example\n")
        self.count = 0

    def url(self, name=""):
        return f"ldap://127.0.0.1:{self.port}" + (f"/ou={name},{SUFFIX}" if name else "")

    def add(self, ldif):
        subprocess.run(["ldapadd", "-ZZ", "-x", "-H", self.url(), "-D", ADMIN, "-w", ADMIN_PW],
                       input=ldif.encode(), check=True, stdout=subprocess.DEVNULL)

    def new_place(self):
        self.count += 1
        name = f"b{self.count}"
        self.add(f"dn: ou={name},{SUFFIX}\nobjectClass: organizationalUnit\nou: {name}\n")
        return name

    def written_since(self, name, stamp):
        """The entries under name modified or added at stamp (UTC, whole seconds) or later."""
        out = subprocess.run(["ldapsearch", "-ZZ", "-x", "-LLL", "-H", self.url(), "-D", ADMIN,
                              "-w", ADMIN_PW, "-b", f"ou={name},{SUFFIX}", "-s", "one",
                              f"(modifyTimestamp>={stamp})", "1.1"],
                             capture_output=True, check=True).stdout
        return out.count(b"\ndn: ") + out.startswith(b"dn: ")


def utc_stamp():
    return time.strftime("%Y%m%d%H%M%SZ", time.gmtime())


class Store:
    """One kind of store: where a side's round syncs to, and the target that says so."""

    def __init__(self, kind, server, scratch):
        self.kind, self.server, self.scratch = kind, server, scratch

    def new_place(self, side, rnd):
        if self.kind == "file":
            path = os.path.join(self.scratch, f"{side}-{rnd}.htpasswd")
            return path, path
        if self.kind == "sqlite":
            path = os.path.join(self.scratch, f"{side}-{rnd}.db")
            return path, f"sqlite:{path}"
        name = self.server.new_place()
        return name, self.server.url(name)

    def target_argv(self, build, db, url):
        argv = [cli(build), "target", db] + (["--file", url] if self.kind == "file" else
                                             ["--url", url])
        if self.kind == "ldap":
            argv += ["--login", ADMIN, "--password-stdin", "--format", "sha512",
                     "--rounds", "1000"]
        return argv

    def dump(self, place, users_tsv, groups_tsv):
        """The rows the first sync wrote, as tab-separated files for the bulk path."""
        for table, path in (("auth_users", users_tsv), ("auth_groups", groups_tsv)):
            if self.kind == "sqlite":
                with open(path, "wb") as out:
                    subprocess.run(["sqlite3", "-separator", "\t", place,
                                    f"SELECT * FROM {table}"], stdout=out, check=True)
            else:
                self.server.psql(place, "-c", f"\\copy {table} TO '{path}'")


TABLES = ("CREATE TABLE auth_users (login TEXT PRIMARY KEY, password TEXT NOT NULL, owner TEXT "
          "NOT NULL); CREATE TABLE auth_groups (login TEXT NOT NULL, groupname TEXT NOT NULL, "
          "owner TEXT NOT NULL, PRIMARY KEY (login, groupname));")


def bulk(store, rnd, users_tsv, groups_tsv):
    """The store's own bulk path loading the same rows: (wall, client cpu, server cpu)."""
    if store.kind == "sqlite":
        argv = ["sqlite3", os.path.join(store.scratch, f"bulk-{rnd}.db"),
                "BEGIN;" + TABLES, ".mode tabs", f".import {users_tsv} auth_users",
                f".import {groups_tsv} auth_groups", "COMMIT;"]
    else:
        argv = ["psql", "-q", "-X", "-1", "-v", "ON_ERROR_STOP=1", "-h", store.server.folder,
                "-U", "quorvane", "-d", store.server.new_place(), "-c", TABLES,
                "-c", f"\\copy auth_users FROM '{users_tsv}'",
                "-c", f"\\copy auth_groups FROM '{groups_tsv}'"]
    before = store.server.cpu() if store.server else 0
    wall, cpu, _ = run(argv)
    server = (store.server.cpu() - before) if store.server else 0
    return wall, cpu, server


def one_round(store, side, build, db, login, rnd):
    """The three steps on a fresh copy and a new place: {step: (wall, cpu, peak KiB, server
    cpu, entries written)}, and the place."""
    folder = os.path.join(store.scratch, f"{side}-{rnd}")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(os.path.join(folder, "state"))
    work = os.path.join(folder, "work.udx")
    shutil.copyfile(db, work)
    os.chmod(work, 0o600)
    run(["cat", work])  # cached, as a daily run finds it
    env = dict(os.environ, XDG_STATE_HOME=os.path.join(folder, "state"))
    place, url = store.new_place(side, rnd)
    run(store.target_argv(build, work, url), env=env, given=(ADMIN_PW + "\n").encode())
    export = [cli(build), "export", work, "--quiet"]
    got = {}
    for step in STEPS:
        if step == "one changed":
            run([cli(build), "passwd", work, login, "--password-stdin"], env=env,
                given=b"a-changed-password\n")
        stamp = None
        if store.kind == "ldap":
            time.sleep(1.05)  # the previous step's writes a whole second earlier
            stamp = utc_stamp()
        before = store.server.cpu() if store.server else 0
        wall, cpu, peak = run(export, env=env)
        server = (store.server.cpu() - before) if store.server else 0
        written = store.server.written_since(place, stamp) if stamp else -1
        got[step] = (wall, cpu, peak, server, written)
    return got, place


def median(values):
    return statistics.median(values)


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--old", required=True, help="build folder of the older version")
    parser.add_argument("--new", required=True, help="build folder of the newer version")
    parser.add_argument("--stores", default="file,sqlite,postgresql,ldap",
                        help="file: the same export to a local file, for the store's share")
    parser.add_argument("--users", type=int, default=1000000, help="users for a file, SQLite and "
                        "PostgreSQL")
    parser.add_argument("--ldap-users", type=int, default=100000)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--work", help="folder for the databases (default: a temporary one)")
    args = parser.parse_args()

    work = args.work or tempfile.mkdtemp(prefix="quorvane-stores-")
    os.makedirs(work, exist_ok=True)
    servers = tempfile.mkdtemp(prefix="quorvane-servers-")
    os.chmod(servers, 0o755)
    kinds = args.stores.split(",")
    started = {}
    try:
        if "postgresql" in kinds:
            started["postgresql"] = Postgres(os.path.join(servers, "pg"))
        if "ldap" in kinds:
            started["ldap"] = Slapd(os.path.join(servers, "ldap"))
        print(f"load average before: {load_average()}", flush=True)
        print("wall: elapsed seconds; cpu: the client's user + system seconds; srv: the "
              "server's; MiB: the client's peak resident memory, x: against the database file; "
              "w: LDAP entries written")
        print(f"{'store':<10} {'users':>8} {'step':<12} {'old wall':>8} {'new wall':>8} "
              f"{'ratio':>6} {'old cpu':>8} {'new cpu':>8} {'old srv':>7} {'new srv':>7} "
              f"{'old MiB':>7} {'new MiB':>7} {'old x':>5} {'new x':>5} {'old w':>6} "
              f"{'new w':>6}")
        for kind in kinds:
            users = args.ldap_users if kind == "ldap" else args.users
            db, logins = database(work, args.new, users)
            login = logins[0]
            size = os.path.getsize(db)
            scratch = tempfile.mkdtemp(dir=work)
            os.chmod(scratch, 0o755)
            store = Store(kind, started.get(kind), scratch)
            figures = {side: {step: [] for step in STEPS} for side in ("old", "new")}
            bulks = []
            for rnd in range(args.runs):
                for side in ("old", "new"):
                    got, place = one_round(store, side, getattr(args, side), db, login, rnd)
                    for step in STEPS:
                        figures[side][step].append(got[step])
                    if kind in ("sqlite", "postgresql") and side == "new":
                        tsv = (os.path.join(scratch, "users.tsv"),
                               os.path.join(scratch, "groups.tsv"))
                        if rnd == 0:
                            store.dump(place, *tsv)
                        bulks.append(bulk(store, rnd, *tsv))
                    if kind in ("file", "sqlite"):
                        os.remove(place)
            for step in STEPS:
                med = {side: [median(f[i] for f in figures[side][step]) for i in range(5)]
                       for side in ("old", "new")}
                (ow, oc, op, osrv, ow_), (nw, nc, np, nsrv, nw_) = med["old"], med["new"]
                print(f"{kind:<10} {users:>8} {step:<12} {ow:8.3f} {nw:8.3f} {nw / ow:6.2f} "
                      f"{oc:8.3f} {nc:8.3f} {osrv:7.2f} {nsrv:7.2f} {op / 1024:7.0f} "
                      f"{np / 1024:7.0f} {op * 1024 / size:5.2f} {np * 1024 / size:5.2f} "
                      f"{ow_:6.0f} {nw_:6.0f}", flush=True)
            if bulks:
                bw, bc, bs = (median(b[i] for b in bulks) for i in range(3))
                first = [median(f[i] for f in figures["new"]["first"]) for i in (0, 1, 3)]
                print(f"{kind:<10} {users:>8} {'bulk path':<12} {bw:8.3f} s wall, {bc:.3f} s cpu,"
                      f" {bs:.2f} s server; new first sync against it: {first[0] / bw:.2f}x wall,"
                      f" {(first[1] + first[2]) / (bc + bs):.2f}x cpu (client + server)",
                      flush=True)
            print(f"{kind:<10} {users:>8} (file)       {size / 2**20:.0f} MiB", flush=True)
            shutil.rmtree(scratch, ignore_errors=True)
        print(f"load average after: {load_average()}")
    finally:
        for server in started.values():
            server.stop()
        shutil.rmtree(servers, ignore_errors=True)
        if not args.work:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
