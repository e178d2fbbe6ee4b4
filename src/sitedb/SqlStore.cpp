// The SQL stores. Both keep the same two tables, made when the first export comes:
//   auth_users  (login TEXT PRIMARY KEY, password TEXT NOT NULL, owner TEXT NOT NULL)
//   auth_groups (login TEXT NOT NULL, groupname TEXT NOT NULL, owner TEXT NOT NULL,
//                PRIMARY KEY (login, groupname))
// A sync runs in one transaction: it reads the logins of every owner, refuses a login another
// owner holds, then writes only what differs.

#include "base/Errors.h"
#include "sitedb/SiteDbTexts.h"
#include "sitedb/UserStore.h"

#include <libpq-fe.h>
#include <sqlite3.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <unistd.h>

namespace quorvane {

namespace {

using TRow = std::vector<std::string>;

// What the sync needs of an SQL connection; statements use $1, $2, … for their parameters.
class ISqlConnection {
public:
    virtual ~ISqlConnection() = default;
    virtual void Exec(const std::string& sql, const std::vector<std::string>& params = {}) = 0;
    virtual std::vector<TRow> Rows(const std::string& sql,
                                   const std::vector<std::string>& params = {}) = 0;
    virtual bool TableExists(const std::string& name) = 0;
    virtual const char* Begin() const { return "BEGIN"; }
};

const char* const KCreateUsers = "CREATE TABLE IF NOT EXISTS auth_users (login TEXT PRIMARY KEY, "
                                 "password TEXT NOT NULL, owner TEXT NOT NULL)";
const char* const KCreateGroups =
    "CREATE TABLE IF NOT EXISTS auth_groups (login TEXT NOT NULL, groupname TEXT NOT NULL, "
    "owner TEXT NOT NULL, PRIMARY KEY (login, groupname))";

// ---- SQLite

class TSqliteConnection final : public ISqlConnection {
public:
    TSqliteConnection(const std::string& path, bool create) : FPath(path) {
        const int flags =
            (create ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE : SQLITE_OPEN_READONLY) |
            SQLITE_OPEN_NOFOLLOW | SQLITE_OPEN_FULLMUTEX;
        if (sqlite3_open_v2(path.c_str(), &FDb, flags, nullptr) != SQLITE_OK) {
            const std::string reason = FDb != nullptr ? sqlite3_errmsg(FDb) : "out of memory";
            sqlite3_close(FDb);
            FDb = nullptr;
            throw EQuorvaneError(Msg(texts::StoreOpenFailed, path, Verbatim(reason)));
        }
        sqlite3_busy_timeout(FDb, 10000);
    }
    ~TSqliteConnection() override { sqlite3_close(FDb); }
    TSqliteConnection(const TSqliteConnection&) = delete;
    TSqliteConnection& operator=(const TSqliteConnection&) = delete;

    void Exec(const std::string& sql, const std::vector<std::string>& params) override {
        Run(sql, params, nullptr);
    }
    std::vector<TRow> Rows(const std::string& sql,
                           const std::vector<std::string>& params) override {
        std::vector<TRow> rows;
        Run(sql, params, &rows);
        return rows;
    }
    bool TableExists(const std::string& name) override {
        return !Rows("SELECT name FROM sqlite_master WHERE type = 'table' AND name = $1", {name})
                    .empty();
    }
    const char* Begin() const override { return "BEGIN IMMEDIATE"; }

private:
    void Run(const std::string& sql, const std::vector<std::string>& params,
             std::vector<TRow>* rows) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(FDb, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) Fail();
        std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> owner(statement, sqlite3_finalize);
        for (std::size_t i = 0; i < params.size(); ++i) {
            // The statements name their parameters $1, $2, ... in order, which makes $n the
            // n-th; looking each name up would cost a search of all of them.
            int index = static_cast<int>(i) + 1;
            const std::string name = "$" + std::to_string(index);
            const char* given = sqlite3_bind_parameter_name(statement, index);
            if (given == nullptr || name != given)
                index = sqlite3_bind_parameter_index(statement, name.c_str());
            if (index == 0) continue;
            if (sqlite3_bind_text(statement, index, params[i].data(),
                                  static_cast<int>(params[i].size()),
                                  SQLITE_TRANSIENT) != SQLITE_OK)
                Fail();
        }
        for (;;) {
            const int step = sqlite3_step(statement);
            if (step == SQLITE_DONE) return;
            if (step != SQLITE_ROW) Fail();
            if (rows == nullptr) continue;
            TRow row;
            for (int c = 0; c < sqlite3_column_count(statement); ++c) {
                const auto* data = static_cast<const char*>(sqlite3_column_blob(statement, c));
                row.emplace_back(data != nullptr ? data : "",
                                 static_cast<std::size_t>(sqlite3_column_bytes(statement, c)));
            }
            rows->push_back(std::move(row));
        }
    }
    [[noreturn]] void Fail() {
        throw EQuorvaneError(Msg(texts::StoreRefused, FPath, Verbatim(sqlite3_errmsg(FDb))));
    }

    std::string FPath;
    sqlite3* FDb = nullptr;
};

// ---- PostgreSQL

std::string PostgresError(const PGconn* connection) {
    std::string text = PQerrorMessage(connection);
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

class TPostgresConnection final : public ISqlConnection {
public:
    explicit TPostgresConnection(const TStoreSettings& settings)
        // TLS with the server's certificate checked against its name, unless the address asks
        // for less (sslmode=...): a server that declines TLS never receives the password.
        : FName(StoreShownName(settings)), FConnection(Connect(settings)) {
        if (PQstatus(FConnection) != CONNECTION_OK) {
            const std::string reason = PostgresError(FConnection);
            PQfinish(FConnection);
            FConnection = nullptr;
            throw EQuorvaneError(Msg(texts::StoreConnectFailed, FName, Verbatim(reason)));
        }
        // The server's notices ("relation ... already exists, skipping") are not the user's.
        PQsetNoticeProcessor(
            FConnection, [](void*, const char*) {}, nullptr);
    }
    ~TPostgresConnection() override { PQfinish(FConnection); }
    TPostgresConnection(const TPostgresConnection&) = delete;
    TPostgresConnection& operator=(const TPostgresConnection&) = delete;

    void Exec(const std::string& sql, const std::vector<std::string>& params) override {
        Run(sql, params);
    }
    std::vector<TRow> Rows(const std::string& sql,
                           const std::vector<std::string>& params) override {
        return Run(sql, params);
    }
    bool TableExists(const std::string& name) override {
        return Rows("SELECT to_regclass($1) IS NOT NULL", {name}).at(0).at(0) == "t";
    }

private:
    static PGconn* Connect(const TStoreSettings& settings) {
        const std::string timeout = std::to_string(settings.TimeoutSeconds);
        // After the URL (dbname), so that they win over what it says; the environment's
        // PGSSLMODE does not weaken it either.
        std::vector<const char*> keys{"dbname", "connect_timeout", "sslmode"};
        std::vector<const char*> values{settings.Location.c_str(), timeout.c_str(),
                                        settings.TlsMode.empty() ? "verify-full"
                                                                 : settings.TlsMode.c_str()};
        if (!settings.Password.empty()) {
            keys.push_back("password");
            values.push_back(settings.Password.c_str());
        }
        if (!settings.Login.empty()) {
            keys.push_back("user");
            values.push_back(settings.Login.c_str());
        }
        keys.push_back(nullptr);
        values.push_back(nullptr);
        return PQconnectdbParams(keys.data(), values.data(), 1);
    }

    std::vector<TRow> Run(const std::string& sql, const std::vector<std::string>& params) {
        std::vector<const char*> values;
        std::vector<int> lengths, formats;
        for (const std::string& p : params) {
            values.push_back(p.c_str());
            lengths.push_back(static_cast<int>(p.size()));
            formats.push_back(0);
        }
        std::unique_ptr<PGresult, void (*)(PGresult*)> result(
            PQexecParams(FConnection, sql.c_str(), static_cast<int>(params.size()), nullptr,
                         values.data(), lengths.data(), formats.data(), 0),
            PQclear);
        const ExecStatusType status = PQresultStatus(result.get());
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
            throw EQuorvaneError(
                Msg(texts::StoreRefused, FName, Verbatim(PostgresError(FConnection))));
        std::vector<TRow> rows;
        for (int r = 0; r < PQntuples(result.get()); ++r) {
            TRow row;
            for (int c = 0; c < PQnfields(result.get()); ++c)
                row.emplace_back(PQgetvalue(result.get(), r, c),
                                 static_cast<std::size_t>(PQgetlength(result.get(), r, c)));
            rows.push_back(std::move(row));
        }
        return rows;
    }

    std::string FName;
    PGconn* FConnection = nullptr;
};

// ---- The sync, the same for both

class TSqlStore final : public IUserStore {
public:
    using TConnect = std::function<std::unique_ptr<ISqlConnection>(bool forWriting)>;
    TSqlStore(std::string name, std::string owner, TConnect connect)
        : FName(std::move(name)), FOwner(std::move(owner)), FConnect(std::move(connect)) {}
    ~TSqlStore() override { Rollback(); }

    std::vector<TStoredUser> Read() override {
        FExists = false;
        std::unique_ptr<ISqlConnection> connection = FConnect(false);
        if (connection == nullptr) return {};
        return ReadOurs(*connection);
    }
    bool Exists() const override { return FExists; }

    TStoreChanges Stage(const std::vector<TStoredUser>& want) override {
        Rollback();
        for (const TStoredUser& user : want)
            if (user.Hash.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
                throw EQuorvaneError(Msg(texts::StoreBadHash, user.Login, FName));
        FConnection = FConnect(true);
        ISqlConnection& db = *FConnection;
        db.Exec(db.Begin());
        FOpen = true;
        try {
            return Apply(db, want);
        } catch (...) {
            Rollback();
            throw;
        }
    }

    void Commit() override {
        if (!FOpen) return;
        FConnection->Exec("COMMIT");
        FOpen = false;
        FConnection.reset();
    }

    void Rollback() noexcept override {
        if (FOpen) {
            try {
                FConnection->Exec("ROLLBACK");
            } catch (const std::exception&) {
                // The connection goes; an open transaction ends with it.
            }
        }
        FOpen = false;
        FConnection.reset();
    }

private:
    std::vector<TStoredUser> ReadOurs(ISqlConnection& db) {
        FExists = db.TableExists("auth_users");
        if (!FExists) return {};
        std::map<std::string, TStoredUser> users;
        for (TRow& row :
             db.Rows("SELECT login, password FROM auth_users WHERE owner = $1", {FOwner})) {
            TStoredUser& user = users[row[0]];
            user.Login = std::move(row[0]);
            user.Hash = std::move(row[1]);
        }
        if (db.TableExists("auth_groups"))
            for (TRow& row : db.Rows("SELECT login, groupname FROM auth_groups WHERE owner = $1 "
                                     "ORDER BY login, groupname",
                                     {FOwner})) {
                const auto found = users.find(row[0]);
                if (found != users.end()) found->second.Groups.push_back(std::move(row[1]));
            }
        std::vector<TStoredUser> list;
        list.reserve(users.size());
        for (auto& [login, user] : users) {
            std::sort(user.Groups.begin(), user.Groups.end());
            list.push_back(std::move(user));
        }
        return list;
    }

    TStoreChanges Apply(ISqlConnection& db, const std::vector<TStoredUser>& want) {
        db.Exec(KCreateUsers);
        db.Exec(KCreateGroups);
        std::map<std::string, std::string> owners;
        for (TRow& row : db.Rows("SELECT login, owner FROM auth_users"))
            owners.emplace(std::move(row[0]), std::move(row[1]));
        for (const TStoredUser& user : want) {
            const auto found = owners.find(user.Login);
            if (found != owners.end() && found->second != FOwner)
                throw EQuorvaneError(
                    Msg(texts::StoreForeignLogin, FName, user.Login, found->second));
        }
        const std::vector<TStoredUser> have = ReadOurs(db);
        const TStoreDiff diff = DiffUsers(have, want);
        TStoreChanges changes;
        changes.Unchanged = diff.Unchanged;
        // New users go in many rows a statement: a first sync of a large database is one
        // statement per few hundred users, not a round trip each.
        std::vector<std::vector<std::string>> rows, groupRows;
        for (const TStoredUser* user : diff.Add) {
            rows.push_back({user->Login, user->Hash, FOwner});
            for (const std::string& group : user->Groups)
                groupRows.push_back({user->Login, group, FOwner});
            ++changes.Added;
        }
        InsertRows(db, "auth_users (login, password, owner)", rows);
        InsertRows(db, "auth_groups (login, groupname, owner)", groupRows);
        for (const auto& [before, after] : diff.Change) {
            if (before->Hash != after->Hash)
                db.Exec("UPDATE auth_users SET password = $1 WHERE login = $2 AND owner = $3",
                        {after->Hash, after->Login, FOwner});
            if (before->Groups != after->Groups) WriteGroups(db, *after, before->Groups);
            ++changes.Changed;
        }
        std::vector<std::string> removed;
        for (const TStoredUser* user : diff.Remove) {
            removed.push_back(user->Login);
            ++changes.Removed;
        }
        DeleteLogins(db, "auth_groups", removed);
        DeleteLogins(db, "auth_users", removed);
        return changes;
    }

    static constexpr std::size_t KRowsPerStatement = 300;

    static void InsertRows(ISqlConnection& db, const std::string& into,
                           const std::vector<std::vector<std::string>>& rows) {
        for (std::size_t first = 0; first < rows.size(); first += KRowsPerStatement) {
            const std::size_t end = std::min(rows.size(), first + KRowsPerStatement);
            std::string sql = "INSERT INTO " + into + " VALUES ";
            std::vector<std::string> params;
            for (std::size_t r = first; r < end; ++r) {
                sql += r == first ? "(" : ", (";
                for (std::size_t c = 0; c < rows[r].size(); ++c) {
                    params.push_back(rows[r][c]);
                    sql += (c == 0 ? "$" : ", $") + std::to_string(params.size());
                }
                sql += ")";
            }
            db.Exec(sql, params);
        }
    }

    void DeleteLogins(ISqlConnection& db, const std::string& table,
                      const std::vector<std::string>& logins) {
        for (std::size_t first = 0; first < logins.size(); first += KRowsPerStatement) {
            const std::size_t end = std::min(logins.size(), first + KRowsPerStatement);
            std::string sql = "DELETE FROM " + table + " WHERE owner = $1 AND login IN (";
            std::vector<std::string> params{FOwner};
            for (std::size_t i = first; i < end; ++i) {
                params.push_back(logins[i]);
                sql += (i == first ? "$" : ", $") + std::to_string(params.size());
            }
            db.Exec(sql + ")", params);
        }
    }

    void WriteGroups(ISqlConnection& db, const TStoredUser& user,
                     const std::vector<std::string>& before) {
        for (const std::string& group : before)
            if (!std::binary_search(user.Groups.begin(), user.Groups.end(), group))
                db.Exec("DELETE FROM auth_groups WHERE login = $1 AND groupname = $2 AND "
                        "owner = $3",
                        {user.Login, group, FOwner});
        for (const std::string& group : user.Groups)
            if (!std::binary_search(before.begin(), before.end(), group))
                db.Exec("INSERT INTO auth_groups (login, groupname, owner) VALUES ($1, $2, $3)",
                        {user.Login, group, FOwner});
    }

    std::string FName, FOwner;
    TConnect FConnect;
    bool FExists = false;
    bool FOpen = false;
    std::unique_ptr<ISqlConnection> FConnection;
};

} // namespace

std::unique_ptr<IUserStore> OpenSqliteStore(const TStoreSettings& settings) {
    const std::string path = settings.Location;
    return std::make_unique<TSqlStore>("sqlite:" + path, settings.Owner,
                                       [path](bool forWriting) -> std::unique_ptr<ISqlConnection> {
                                           // Reading makes no file where there is none.
                                           if (!forWriting && ::access(path.c_str(), F_OK) != 0)
                                               return nullptr;
                                           return std::make_unique<TSqliteConnection>(path,
                                                                                      forWriting);
                                       });
}

std::unique_ptr<IUserStore> OpenPostgresStore(const TStoreSettings& settings) {
    return std::make_unique<TSqlStore>(StoreShownName(settings), settings.Owner,
                                       [settings](bool) -> std::unique_ptr<ISqlConnection> {
                                           return std::make_unique<TPostgresConnection>(settings);
                                       });
}

} // namespace quorvane
