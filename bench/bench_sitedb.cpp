// Syncing a store, and asking a web server that reads it. Per engine (SQLite, PostgreSQL,
// LDAP): the first sync of QUORVANE_BENCH_SYNC_USERS users (100,000 by default; BM_FirstSync)
// against the engine's own bulk tool loading the same rows into the same tables (sqlite3
// .import, psql \copy; BM_BulkTool), a re-sync with one user changed, read and staged as an
// export does (BM_ResyncOneChanged), and a re-sync after 100 changes (BM_Resync100); then
// Apache's answer for the last of QUORVANE_BENCH_USERS users (1,000,000 by default) read from a
// password file, from PostgreSQL and from LDAP (BM_RequestLastUser), all in one run with the
// servers the tests start.
//
//   bench_sitedb --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
//                --benchmark_filter='FirstSync|BulkTool|OneChanged'

#include "ApacheTestServer.h"
#include "StoreServers.h"

#include "sitedb/UserStore.h"

#include <benchmark/benchmark.h>
#include <crypt.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>

using namespace quorvane;

namespace {

namespace fs = std::filesystem;

storetest::TPostgresServer& Postgres() {
    static storetest::TPostgresServer server;
    return server;
}
storetest::TSlapdServer& Slapd() {
    static storetest::TSlapdServer server;
    return server;
}

int gPlace = 0;

enum TEngine { KSqlite, KPostgres, KLdap };

// A new, empty place of the engine's.
TStoreSettings NewPlace(TEngine engine) {
    static TTempDir dir;
    const std::string name = "b" + std::to_string(++gPlace);
    TStoreSettings s;
    switch (engine) {
    case KSqlite:
        s = *ParseStoreUrl("sqlite:" + dir.File(name + ".db"));
        break;
    case KPostgres:
        if (storetest::Run("PGPASSWORD=" + Postgres().Password() + " psql -q '" + Postgres().Url() +
                           "' -c 'CREATE DATABASE " + name + "'") != 0)
            throw std::runtime_error("CREATE DATABASE failed");
        s = *ParseStoreUrl(Postgres().Url(name));
        s.Password = Postgres().Password();
        break;
    case KLdap: {
        const std::string base = "ou=" + name + "," + Slapd().BaseDn();
        if (!Slapd().Add("dn: " + base + "\nobjectClass: organizationalUnit\nou: " + name + "\n"))
            throw std::runtime_error("the unit could not be added");
        s = *ParseStoreUrl(Slapd().Url() + "/" + base);
        s.Login = Slapd().AdminDn();
        s.Password = Slapd().AdminPassword();
        break;
    }
    }
    s.Owner = "bench";
    return s;
}

bool Available(TEngine engine, benchmark::State& state) {
    if (engine == KPostgres && !Postgres().Running()) {
        state.SkipWithError(Postgres().Why().c_str());
        return false;
    }
    if (engine == KLdap && !Slapd().Running()) {
        state.SkipWithError(Slapd().Why().c_str());
        return false;
    }
    return true;
}

// n users with SHA-512-crypt-shaped hashes (a store keeps them as text; none is checked here).
std::vector<TStoredUser> Users(int n, int changedFrom = -1, int changed = 0) {
    std::vector<TStoredUser> users;
    users.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        char login[16], hash[128];
        std::snprintf(login, sizeof login, "user%07d", i);
        const bool newer = i >= changedFrom && i < changedFrom + changed;
        std::snprintf(hash, sizeof hash, "$6$salt%07d$%s%086d", i, newer ? "new" : "old", i);
        users.push_back(
            {login, hash,
             i % 10 == 0 ? std::vector<std::string>{"staff"} : std::vector<std::string>{}});
    }
    return users;
}

int SyncUsers() {
    const char* n = std::getenv("QUORVANE_BENCH_SYNC_USERS");
    return n != nullptr ? std::atoi(n) : 100000;
}

void BM_FirstSync(benchmark::State& state) {
    const auto engine = static_cast<TEngine>(state.range(0));
    if (!Available(engine, state)) return;
    const std::vector<TStoredUser> users = Users(SyncUsers());
    for (auto _ : state) {
        state.PauseTiming();
        const auto store = OpenUserStore(NewPlace(engine));
        state.ResumeTiming();
        store->Stage(users);
        store->Commit();
    }
    state.counters["users"] = SyncUsers();
}
BENCHMARK(BM_FirstSync)
    ->Arg(KSqlite)
    ->Arg(KPostgres)
    ->Arg(KLdap)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();

// The same rows loaded by the engine's own tool from tab-separated files, tables made first, in
// one transaction: the bound a first sync is measured against.
void BM_BulkTool(benchmark::State& state) {
    const auto engine = static_cast<TEngine>(state.range(0));
    if (!Available(engine, state)) return;
    static TTempDir dir;
    const std::string usersFile = dir.File("users.tsv"), groupsFile = dir.File("groups.tsv");
    {
        std::ofstream users(usersFile), groups(groupsFile);
        for (const TStoredUser& user : Users(SyncUsers())) {
            users << user.Login << '\t' << user.Hash << "\tbench\n";
            for (const std::string& group : user.Groups)
                groups << user.Login << '\t' << group << "\tbench\n";
        }
    }
    const std::string tables =
        "CREATE TABLE auth_users (login TEXT PRIMARY KEY, password TEXT NOT NULL, owner TEXT NOT "
        "NULL); CREATE TABLE auth_groups (login TEXT NOT NULL, groupname TEXT NOT NULL, owner "
        "TEXT NOT NULL, PRIMARY KEY (login, groupname));";
    for (auto _ : state) {
        state.PauseTiming();
        std::string command;
        if (engine == KSqlite) {
            command = "sqlite3 '" + dir.File("b" + std::to_string(++gPlace) + ".db") + "' '" +
                      tables + "' '.mode tabs' '.import " + usersFile + " auth_users' '.import " +
                      groupsFile + " auth_groups'";
        } else {
            const TStoreSettings place = NewPlace(engine);
            command = "PGPASSWORD=" + Postgres().Password() + " psql -q -1 -v ON_ERROR_STOP=1 '" +
                      place.Location + "' -c '" + tables + "' -c '\\copy auth_users FROM " +
                      usersFile + "' -c '\\copy auth_groups FROM " + groupsFile + "'";
        }
        state.ResumeTiming();
        if (storetest::Run(command) != 0) state.SkipWithError("the bulk tool failed");
    }
    state.counters["users"] = SyncUsers();
}
BENCHMARK(BM_BulkTool)
    ->Arg(KSqlite)
    ->Arg(KPostgres)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();

// A store of SyncUsers() users in which one user's hash changes at each sync, read first as an
// export reads its target (the check of what changed there) and then staged and committed.
void BM_ResyncOneChanged(benchmark::State& state) {
    const auto engine = static_cast<TEngine>(state.range(0));
    if (!Available(engine, state)) return;
    static std::map<int, std::unique_ptr<IUserStore>> stores;
    std::unique_ptr<IUserStore>& store = stores[engine];
    const int n = SyncUsers();
    const std::vector<TStoredUser> before = Users(n);
    if (store == nullptr) {
        store = OpenUserStore(NewPlace(engine));
        store->Stage(before);
        store->Commit();
    }
    const std::vector<TStoredUser> after = Users(n, n / 2, 1);
    static std::map<int, bool> forward;
    bool& forth = forward.emplace(engine, true).first->second;
    for (auto _ : state) {
        if (store->Read().size() != before.size()) state.SkipWithError("the store lost users");
        const TStoreChanges changes = store->Stage(forth ? after : before);
        store->Commit();
        if (changes.Changed != 1) state.SkipWithError("not one user changed");
        forth = !forth;
    }
    state.counters["users"] = n;
}
BENCHMARK(BM_ResyncOneChanged)
    ->Arg(KSqlite)
    ->Arg(KPostgres)
    ->Arg(KLdap)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();

void BM_Resync100(benchmark::State& state) {
    const auto engine = static_cast<TEngine>(state.range(0));
    if (!Available(engine, state)) return;
    static std::map<int, std::unique_ptr<IUserStore>> stores;
    std::unique_ptr<IUserStore>& store = stores[engine];
    const std::vector<TStoredUser> before = Users(100000);
    if (store == nullptr) {
        store = OpenUserStore(NewPlace(engine));
        store->Stage(before);
        store->Commit();
    }
    // 50 new hashes and 50 users removed.
    std::vector<TStoredUser> after = Users(100000, 5000, 50);
    after.erase(after.begin() + 90000, after.begin() + 90050);
    bool forth = true;
    for (auto _ : state) {
        store->Stage(forth ? after : before);
        store->Commit();
        forth = !forth;
    }
}
BENCHMARK(BM_Resync100)
    ->Arg(KSqlite)
    ->Arg(KPostgres)
    ->Arg(KLdap)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Apache, once per source, holding many users; the benchmark asks for the last one.
enum TSource { KFile, KPostgresTable, KLdapDirectory };

struct TServed {
    std::unique_ptr<apachetest::TApacheServer> Server;
    std::string Login;
};

int ManyUsers() {
    const char* n = std::getenv("QUORVANE_BENCH_USERS");
    return n != nullptr ? std::atoi(n) : 1000000;
}

TServed& Served(TSource source) {
    static std::map<int, TServed> served;
    TServed& s = served[source];
    if (s.Server) return s;
    const int n = ManyUsers();
    // One real hash for the user asked for; the others only need to be there.
    std::vector<TStoredUser> users = Users(n);
    users.back().Hash = crypt("last-pw", "$6$rounds=5000$benchsalt$");
    s.Login = users.back().Login;
    std::string directives, server;
    std::vector<std::string> modules;
    if (source == KFile) {
        s.Server = std::make_unique<apachetest::TApacheServer>();
        std::string text;
        for (const TStoredUser& u : users)
            text += u.Login + ":" + u.Hash + "\n";
        s.Server->SetPasswordFile(text);
        return s;
    }
    if (source == KPostgresTable) {
        TStoreSettings place = NewPlace(KPostgres);
        const auto store = OpenUserStore(place);
        store->Stage(users);
        store->Commit();
        modules = {"dbd", "authn_dbd"};
        directives = "AuthBasicProvider dbd\nAuthDBDUserPWQuery \"SELECT password FROM "
                     "auth_users WHERE login = %s\"\nRequire valid-user";
        server =
            "DBDriver pgsql\nDBDParams \"host=127.0.0.1 port=" + std::to_string(Postgres().Port()) +
            " dbname=b" + std::to_string(gPlace) +
            " user=quorvane password=" + Postgres().Password() + "\"";
    } else {
        TStoreSettings place = NewPlace(KLdap);
        const auto store = OpenUserStore(place);
        store->Stage(users);
        store->Commit();
        modules = {"ldap", "authnz_ldap"};
        directives = "AuthBasicProvider ldap\nAuthLDAPURL \"" + Slapd().Url() + "/" + place.BaseDn +
                     "?uid\"\nRequire valid-user";
        server = "LDAPCacheEntries 0\nLDAPOpCacheEntries 0";
    }
    s.Server = std::make_unique<apachetest::TApacheServer>(modules, directives, server);
    return s;
}

void BM_RequestLastUser(benchmark::State& state) {
    const auto source = static_cast<TSource>(state.range(0));
    if (source == KPostgresTable && !Available(KPostgres, state)) return;
    if (source == KLdapDirectory && !Available(KLdap, state)) return;
    TServed& served = Served(source);
    for (auto _ : state)
        if (served.Server->Status(served.Login, "last-pw") != 200)
            state.SkipWithError("the last user was not let in");
    state.counters["users"] = ManyUsers();
}
BENCHMARK(BM_RequestLastUser)
    ->Arg(KFile)
    ->Arg(KPostgresTable)
    ->Arg(KLdapDirectory)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);

} // namespace
