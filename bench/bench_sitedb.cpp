// Syncing a store, and asking a web server that reads it. Per engine (SQLite, PostgreSQL,
// LDAP): the first sync of 100,000 users (BM_FirstSync) and a re-sync after 100 changes
// (BM_Resync100); then Apache's answer for the last of QUORVANE_BENCH_USERS users (1,000,000 by
// default) read from a password file, from PostgreSQL and from LDAP (BM_RequestLastUser), all
// in one run with the servers the tests start.
//
//   bench_sitedb --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

#include "ApacheTestServer.h"
#include "StoreServers.h"

#include "sitedb/UserStore.h"

#include <benchmark/benchmark.h>
#include <crypt.h>

#include <cstdio>
#include <cstdlib>
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

void BM_FirstSync(benchmark::State& state) {
    const auto engine = static_cast<TEngine>(state.range(0));
    if (!Available(engine, state)) return;
    const std::vector<TStoredUser> users = Users(100000);
    for (auto _ : state) {
        state.PauseTiming();
        const auto store = OpenUserStore(NewPlace(engine));
        state.ResumeTiming();
        store->Stage(users);
        store->Commit();
    }
}
BENCHMARK(BM_FirstSync)
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
