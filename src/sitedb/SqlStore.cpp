// The SQL stores. Both keep the same two tables, made when the first export comes:
//   auth_users  (login TEXT PRIMARY KEY, password TEXT NOT NULL, owner TEXT NOT NULL)
//   auth_groups (login TEXT NOT NULL, groupname TEXT NOT NULL, owner TEXT NOT NULL,
//                PRIMARY KEY (login, groupname))
// A sync runs in one transaction: it refuses a login another owner holds, then writes only what
// differs. What Read found is compared again, not read again: the rows of this owner are summed
// into a digest (count and two 64-bit sums of a hash per row) in the same snapshot as they are
// read, and a sync whose transaction finds the same digest takes the rows Read found. New rows
// go by the engine's bulk path: one prepared INSERT re-bound row after row (SQLite), COPY
// FROM STDIN (PostgreSQL).

#include "base/Errors.h"
#include "sitedb/SiteDbTexts.h"
#include "sitedb/StoresPlugin.h"
#include "sitedb/UserStore.h"

#include <libpq-fe.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <string_view>
#include <unistd.h>

namespace quorvane {

namespace {

using TRow = std::vector<std::string>;
using TRowView = std::vector<std::string_view>;

// Rows of parameters, cell after cell, each row Width cells.
struct TCells {
    explicit TCells(std::size_t width) : Width(width) {}
    std::size_t Width;
    std::vector<std::string_view> Cells;
    std::size_t Rows() const { return Cells.size() / Width; }
    void Add(std::initializer_list<std::string_view> row) { Cells.insert(Cells.end(), row); }
};

// A statement run for many rows of parameters. SQLite prepares One once and binds it row after
// row: the row's cells are ?1 … ?W, the fixed parameters after them. PostgreSQL runs Many for a
// few thousand rows at a time: $1 … $W are arrays of the rows' cells, one a column, the fixed
// parameters after them.
struct TEachSql {
    const char* One;
    const char* Many;
};

// What the sync needs of an SQL connection; single statements use $1, $2, … for their
// parameters.
class ISqlConnection {
public:
    virtual ~ISqlConnection() = default;
    virtual void Exec(const std::string& sql, const std::vector<std::string>& params = {}) = 0;
    virtual std::vector<TRow> Rows(const std::string& sql,
                                   const std::vector<std::string>& params = {}) = 0;
    // The rows of a query one at a time, never all of them held (inside a transaction).
    virtual void Scan(const std::string& sql, const std::vector<std::string>& params,
                      const std::function<void(const TRowView&)>& row) = 0;
    // Runs sql for each row of cells, with the fixed parameters; the rows it returns.
    virtual std::vector<TRow> Each(const TEachSql& sql, const TCells& cells,
                                   const std::vector<std::string>& fixed) = 0;
    // Adds rows to a table, its columns named as "a, b, c", by the engine's bulk path.
    virtual void Append(const std::string& table, const std::string& columns,
                        const TCells& cells) = 0;
    virtual bool TableExists(const std::string& name) = 0;
    // The start of a transaction that writes, and of one that only reads, all in one snapshot.
    virtual const char* Begin() const { return "BEGIN"; }
    virtual const char* BeginRead() const { return "BEGIN"; }
    // A query of one row and column: the digest of this owner's rows of a table ($1 the owner),
    // "login:VALUE" summed over them, VALUE the column given.
    virtual std::string DigestSql(const std::string& table, const std::string& column) const = 0;
};

const char* const KCreateUsers = "CREATE TABLE IF NOT EXISTS auth_users (login TEXT PRIMARY KEY, "
                                 "password TEXT NOT NULL, owner TEXT NOT NULL)";
const char* const KCreateGroups =
    "CREATE TABLE IF NOT EXISTS auth_groups (login TEXT NOT NULL, groupname TEXT NOT NULL, "
    "owner TEXT NOT NULL, PRIMARY KEY (login, groupname))";

// ---- SQLite

// The digest of rows as an aggregate function of the connection, quorvane_digest(login, value):
// the count and two sums of a 64-bit hash of "login:value" (a login never holds ":"), so that
// the order the rows come in does not matter.
struct TDigestSums {
    std::uint64_t Count = 0, A = 0, B = 0;
};

std::uint64_t Mixed(std::uint64_t x) {
    x ^= x >> 30;
    x *= 0xbf58476d1ce4e5b9ULL;
    x ^= x >> 27;
    x *= 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

std::uint64_t RowHash(std::uint64_t seed, std::string_view login, std::string_view value) {
    std::uint64_t h = seed;
    const auto add = [&h](unsigned char c) {
        h ^= c;
        h *= 0x100000001b3ULL;
    };
    for (const char c : login)
        add(static_cast<unsigned char>(c));
    add(':');
    for (const char c : value)
        add(static_cast<unsigned char>(c));
    return Mixed(h ^ (login.size() << 32) ^ value.size());
}

std::string_view TextOf(sqlite3_value* value) {
    const auto* data = static_cast<const char*>(sqlite3_value_blob(value));
    return {data != nullptr ? data : "", static_cast<std::size_t>(sqlite3_value_bytes(value))};
}

void DigestStep(sqlite3_context* context, int, sqlite3_value** values) {
    auto* sums = static_cast<TDigestSums*>(sqlite3_aggregate_context(context, sizeof(TDigestSums)));
    if (sums == nullptr) {
        sqlite3_result_error_nomem(context);
        return;
    }
    const std::string_view login = TextOf(values[0]), value = TextOf(values[1]);
    ++sums->Count;
    sums->A += RowHash(0xcbf29ce484222325ULL, login, value);
    sums->B += RowHash(0x84222325cbf29ce4ULL, login, value);
}

void DigestFinal(sqlite3_context* context) {
    const auto* sums = static_cast<TDigestSums*>(sqlite3_aggregate_context(context, 0));
    const TDigestSums zero;
    if (sums == nullptr) sums = &zero;
    char text[64];
    const int n = std::snprintf(
        text, sizeof text, "%llu:%016llx:%016llx", static_cast<unsigned long long>(sums->Count),
        static_cast<unsigned long long>(sums->A), static_cast<unsigned long long>(sums->B));
    sqlite3_result_text(context, text, n, SQLITE_TRANSIENT);
}

// "$1" as SQLite's numbered "?1", which it binds by number instead of searching the names.
std::string Numbered(const std::string& sql) {
    std::string out = sql;
    for (std::size_t i = 0; i + 1 < out.size(); ++i)
        if (out[i] == '$' && out[i + 1] >= '0' && out[i + 1] <= '9') out[i] = '?';
    return out;
}

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
        if (sqlite3_create_function_v2(
                FDb, "quorvane_digest", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_DIRECTONLY,
                nullptr, nullptr, DigestStep, DigestFinal, nullptr) != SQLITE_OK)
            Fail();
    }
    ~TSqliteConnection() override { sqlite3_close(FDb); }
    TSqliteConnection(const TSqliteConnection&) = delete;
    TSqliteConnection& operator=(const TSqliteConnection&) = delete;

    void Exec(const std::string& sql, const std::vector<std::string>& params) override {
        Scan(sql, params, nullptr);
    }
    std::vector<TRow> Rows(const std::string& sql,
                           const std::vector<std::string>& params) override {
        std::vector<TRow> rows;
        Scan(sql, params,
             [&rows](const TRowView& row) { rows.emplace_back(row.begin(), row.end()); });
        return rows;
    }
    void Scan(const std::string& sql, const std::vector<std::string>& params,
              const std::function<void(const TRowView&)>& row) override {
        const TStatement statement = Prepare(Numbered(sql));
        for (std::size_t i = 0; i < params.size(); ++i)
            Bind(statement.get(), static_cast<int>(i) + 1, params[i]);
        Run(statement.get(), row ? &row : nullptr, nullptr);
    }
    std::vector<TRow> Each(const TEachSql& sql, const TCells& cells,
                           const std::vector<std::string>& fixed) override {
        std::vector<TRow> rows;
        if (cells.Rows() == 0) return rows;
        const TStatement statement = Prepare(sql.One);
        const int width = static_cast<int>(cells.Width);
        for (std::size_t f = 0; f < fixed.size(); ++f)
            Bind(statement.get(), width + static_cast<int>(f) + 1, fixed[f]);
        for (std::size_t r = 0; r < cells.Rows(); ++r) {
            for (int c = 0; c < width; ++c)
                Bind(statement.get(), c + 1,
                     cells.Cells[r * cells.Width + static_cast<std::size_t>(c)]);
            Run(statement.get(), nullptr, &rows);
            sqlite3_reset(statement.get());
        }
        return rows;
    }
    void Append(const std::string& table, const std::string& columns,
                const TCells& cells) override {
        std::string values;
        for (std::size_t c = 1; c <= cells.Width; ++c)
            values += (c == 1 ? "?" : ", ?") + std::to_string(c);
        const std::string sql =
            "INSERT INTO " + table + " (" + columns + ") VALUES (" + values + ")";
        Each({sql.c_str(), nullptr}, cells, {});
    }
    bool TableExists(const std::string& name) override {
        return !Rows("SELECT name FROM sqlite_master WHERE type = 'table' AND name = $1", {name})
                    .empty();
    }
    const char* Begin() const override { return "BEGIN IMMEDIATE"; }
    std::string DigestSql(const std::string& table, const std::string& column) const override {
        return "SELECT quorvane_digest(login, " + column + ") FROM " + table + " WHERE owner = $1";
    }

private:
    using TStatement = std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)>;

    TStatement Prepare(const std::string& sql) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(FDb, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) Fail();
        return TStatement(statement, sqlite3_finalize);
    }
    // The text is not copied: it stays where it is until the statement has run.
    void Bind(sqlite3_stmt* statement, int index, std::string_view text) {
        if (index > sqlite3_bind_parameter_count(statement)) return;
        if (sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()),
                              SQLITE_STATIC) != SQLITE_OK)
            Fail();
    }
    void Run(sqlite3_stmt* statement, const std::function<void(const TRowView&)>* each,
             std::vector<TRow>* rows) {
        TRowView row;
        for (;;) {
            const int step = sqlite3_step(statement);
            if (step == SQLITE_DONE) return;
            if (step != SQLITE_ROW) Fail();
            if (each == nullptr && rows == nullptr) continue;
            row.clear();
            for (int c = 0; c < sqlite3_column_count(statement); ++c) {
                const auto* data = static_cast<const char*>(sqlite3_column_blob(statement, c));
                row.emplace_back(data != nullptr ? data : "",
                                 static_cast<std::size_t>(sqlite3_column_bytes(statement, c)));
            }
            if (each != nullptr) (*each)(row);
            if (rows != nullptr) rows->emplace_back(row.begin(), row.end());
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

// An array literal of texts, '{"a","b\"c"}', each element quoted.
std::string ArrayLiteral(const TCells& cells, std::size_t column, std::size_t first,
                         std::size_t end) {
    std::string out = "{";
    for (std::size_t r = first; r < end; ++r) {
        out += r == first ? "\"" : ",\"";
        for (const char c : cells.Cells[r * cells.Width + column]) {
            if (c == '"' || c == '\\') out += '\\';
            out += c;
        }
        out += '"';
    }
    return out + "}";
}

// A field of COPY's text form: a backslash, a tab and the line ends escaped.
void AppendCopyField(std::string& out, std::string_view field) {
    for (const char c : field) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
        }
    }
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
        return RowsOf(Run(sql, params));
    }
    // Through a cursor, a few thousand rows a fetch: a large table is never held whole.
    void Scan(const std::string& sql, const std::vector<std::string>& params,
              const std::function<void(const TRowView&)>& each) override {
        Run("DECLARE quorvane_rows NO SCROLL CURSOR FOR " + sql, params);
        TRowView row;
        for (;;) {
            const TResult result = Run("FETCH 10000 FROM quorvane_rows", {});
            const int count = PQntuples(result.get());
            for (int r = 0; r < count; ++r) {
                row.clear();
                for (int c = 0; c < PQnfields(result.get()); ++c)
                    row.emplace_back(PQgetvalue(result.get(), r, c),
                                     static_cast<std::size_t>(PQgetlength(result.get(), r, c)));
                each(row);
            }
            if (count == 0) break;
        }
        Run("CLOSE quorvane_rows", {});
    }
    std::vector<TRow> Each(const TEachSql& sql, const TCells& cells,
                           const std::vector<std::string>& fixed) override {
        std::vector<TRow> rows;
        for (std::size_t first = 0; first < cells.Rows(); first += KRowsPerStatement) {
            const std::size_t end = std::min(cells.Rows(), first + KRowsPerStatement);
            std::vector<std::string> params;
            for (std::size_t c = 0; c < cells.Width; ++c)
                params.push_back(ArrayLiteral(cells, c, first, end));
            params.insert(params.end(), fixed.begin(), fixed.end());
            std::vector<TRow> some = RowsOf(Run(sql.Many, params));
            rows.insert(rows.end(), std::make_move_iterator(some.begin()),
                        std::make_move_iterator(some.end()));
        }
        return rows;
    }
    void Append(const std::string& table, const std::string& columns,
                const TCells& cells) override {
        if (cells.Rows() == 0) return;
        const TResult start(
            PQexec(FConnection, ("COPY " + table + " (" + columns + ") FROM STDIN").c_str()),
            PQclear);
        if (PQresultStatus(start.get()) != PGRES_COPY_IN) Refused();
        std::string chunk;
        bool sent = true;
        for (std::size_t r = 0; r < cells.Rows() && sent; ++r) {
            for (std::size_t c = 0; c < cells.Width; ++c) {
                if (c > 0) chunk += '\t';
                AppendCopyField(chunk, cells.Cells[r * cells.Width + c]);
            }
            chunk += '\n';
            if (chunk.size() >= KCopyChunk) {
                sent =
                    PQputCopyData(FConnection, chunk.data(), static_cast<int>(chunk.size())) == 1;
                chunk.clear();
            }
        }
        if (sent && !chunk.empty())
            sent = PQputCopyData(FConnection, chunk.data(), static_cast<int>(chunk.size())) == 1;
        // A copy that could not be sent whole is ended as failed: none of its rows is kept.
        const bool ended = PQputCopyEnd(FConnection, sent ? nullptr : "not sent whole") == 1;
        bool ok = sent && ended;
        std::string reason;
        while (PGresult* result = PQgetResult(FConnection)) {
            if (PQresultStatus(result) != PGRES_COMMAND_OK) {
                ok = false;
                if (reason.empty()) reason = PostgresError(FConnection);
            }
            PQclear(result);
        }
        if (!ok)
            throw EQuorvaneError(
                Msg(texts::StoreRefused, FName,
                    Verbatim(reason.empty() ? PostgresError(FConnection) : reason)));
    }
    bool TableExists(const std::string& name) override {
        return Rows("SELECT to_regclass($1) IS NOT NULL", {name}).at(0).at(0) == "t";
    }
    const char* BeginRead() const override {
        return "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY";
    }
    std::string DigestSql(const std::string& table, const std::string& column) const override {
        const std::string row = "login || ':' || " + column;
        return "SELECT count(*) || ':' || coalesce(sum(hashtextextended(" + row +
               ", 1)::numeric), 0) || ':' || coalesce(sum(hashtextextended(" + row +
               ", 2)::numeric), 0) FROM " + table + " WHERE owner = $1";
    }

private:
    using TResult = std::unique_ptr<PGresult, void (*)(PGresult*)>;
    // Rows a statement of arrays takes at once, and the bytes a piece of a copy holds.
    static constexpr std::size_t KRowsPerStatement = 5000;
    static constexpr std::size_t KCopyChunk = std::size_t{1} << 16;

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

    [[noreturn]] void Refused() {
        throw EQuorvaneError(Msg(texts::StoreRefused, FName, Verbatim(PostgresError(FConnection))));
    }

    static std::vector<TRow> RowsOf(const TResult& result) {
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

    TResult Run(const std::string& sql, const std::vector<std::string>& params) {
        std::vector<const char*> values;
        std::vector<int> lengths, formats;
        for (const std::string& p : params) {
            values.push_back(p.c_str());
            lengths.push_back(static_cast<int>(p.size()));
            formats.push_back(0);
        }
        TResult result(PQexecParams(FConnection, sql.c_str(), static_cast<int>(params.size()),
                                    nullptr, values.data(), lengths.data(), formats.data(), 0),
                       PQclear);
        const ExecStatusType status = PQresultStatus(result.get());
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) Refused();
        return result;
    }

    std::string FName;
    PGconn* FConnection = nullptr;
};

// ---- The sync, the same for both

const TEachSql KOwnersOf{"SELECT login, owner FROM auth_users WHERE login = ?1 AND owner <> ?2",
                         "SELECT login, owner FROM auth_users WHERE login = ANY($1::text[]) AND "
                         "owner <> $2"};
const TEachSql KUpdatePassword{
    "UPDATE auth_users SET password = ?1 WHERE login = ?2 AND owner = ?3",
    "UPDATE auth_users AS a SET password = v.p FROM unnest($1::text[], $2::text[]) AS v(p, l) "
    "WHERE a.login = v.l AND a.owner = $3"};
const TEachSql KDeleteMembership{
    "DELETE FROM auth_groups WHERE login = ?1 AND groupname = ?2 AND owner = ?3",
    "DELETE FROM auth_groups AS a USING unnest($1::text[], $2::text[]) AS v(l, g) "
    "WHERE a.login = v.l AND a.groupname = v.g AND a.owner = $3"};
const TEachSql KDeleteGroupsOf{"DELETE FROM auth_groups WHERE login = ?1 AND owner = ?2",
                               "DELETE FROM auth_groups WHERE login = ANY($1::text[]) AND "
                               "owner = $2"};
const TEachSql KDeleteUser{"DELETE FROM auth_users WHERE login = ?1 AND owner = ?2",
                           "DELETE FROM auth_users WHERE login = ANY($1::text[]) AND owner = $2"};

// Rows added by one use of the bulk path.
constexpr std::size_t KAppendBatch = 10000;

class TSqlStore final : public IUserStore {
public:
    using TConnect = std::function<std::unique_ptr<ISqlConnection>(bool forWriting)>;
    TSqlStore(std::string name, std::string owner, TConnect connect)
        : FName(std::move(name)), FOwner(std::move(owner)), FConnect(std::move(connect)) {}
    ~TSqlStore() override { Rollback(); }

    const std::vector<TUserView>& ReadInPlace() override {
        FExists = false;
        FRead = TReadUsers();
        FReadDigest.clear();
        std::unique_ptr<ISqlConnection> connection = FConnect(false);
        if (connection == nullptr) return FRead.Users();
        ISqlConnection& db = *connection;
        // The rows and their digest from one snapshot: a sync that finds the same digest may
        // take these rows as the store's.
        db.Exec(db.BeginRead());
        FExists = db.TableExists("auth_users");
        if (FExists) {
            FRead = ReadOurs(db);
            try {
                FReadDigest = Digest(db);
            } catch (const EQuorvaneError&) {
                // A server without the digest's functions: the sync reads the rows again.
                FReadDigest.clear();
            }
        }
        db.Exec("COMMIT");
        return FRead.Users();
    }
    bool Exists() const override { return FExists; }

    TStoreChanges StageUsers(const std::vector<TUserView>& want) override {
        Rollback();
        for (const TUserView& user : want)
            if (user.Hash.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos)
                throw EQuorvaneError(Msg(texts::StoreBadHash, std::string(user.Login), FName));
        return InTransaction([&](ISqlConnection& db) { return Apply(db, want); });
    }

    TStoreChanges StageRead() override {
        Rollback();
        return InTransaction([&](ISqlConnection& db) {
            db.Exec(KCreateUsers);
            db.Exec(KCreateGroups);
            // Still the rows Read found (its digest, in this transaction): nothing to write.
            if (FExists && !FReadDigest.empty() && Digest(db) == FReadDigest) {
                TStoreChanges changes;
                changes.Unchanged = FRead.Size();
                return changes;
            }
            return Apply(db, FRead.Users());
        });
    }

    void Commit() override {
        if (!FOpen) return;
        FConnection->Exec("COMMIT");
        FOpen = false;
        FConnection.reset();
        // What Read found is no longer what the store holds.
        FRead = TReadUsers();
        FReadDigest.clear();
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
    // body(db) inside a transaction that writes, left open for Commit; rolled back when it
    // fails.
    TStoreChanges InTransaction(const std::function<TStoreChanges(ISqlConnection&)>& body) {
        FConnection = FConnect(true);
        ISqlConnection& db = *FConnection;
        db.Exec(db.Begin());
        FOpen = true;
        try {
            return body(db);
        } catch (...) {
            Rollback();
            throw;
        }
    }

    // This owner's users, in login byte order (inside a transaction).
    TReadUsers ReadOurs(ISqlConnection& db) {
        TReadUsers users;
        db.Scan("SELECT login, password FROM auth_users WHERE owner = $1", {FOwner},
                [&users](const TRowView& row) { users.Add(row[0], row[1]); });
        // A table made without its key may hold a login twice: the last row read counts.
        users.SortByLogin();
        if (!db.TableExists("auth_groups")) return users;
        // The groups by the user's place in the list; few users have any.
        std::map<std::size_t, std::vector<std::string>> groups;
        const std::vector<TUserView>& list = users.Users();
        db.Scan("SELECT login, groupname FROM auth_groups WHERE owner = $1", {FOwner},
                [&](const TRowView& row) {
                    const auto found = std::lower_bound(
                        list.begin(), list.end(), row[0],
                        [](const TUserView& u, std::string_view l) { return u.Login < l; });
                    if (found != list.end() && found->Login == row[0])
                        groups[static_cast<std::size_t>(found - list.begin())].emplace_back(row[1]);
                });
        for (auto& [index, names] : groups)
            users.SetGroups(index, std::move(names));
        return users;
    }

    std::string Digest(ISqlConnection& db) {
        std::string digest = db.Rows(db.DigestSql("auth_users", "password"), {FOwner}).at(0).at(0);
        if (db.TableExists("auth_groups"))
            digest += "/" + db.Rows(db.DigestSql("auth_groups", "groupname"), {FOwner}).at(0).at(0);
        return digest;
    }

    TStoreChanges Apply(ISqlConnection& db, const std::vector<TUserView>& want) {
        db.Exec(KCreateUsers);
        db.Exec(KCreateGroups);
        // The rows Read found, when the store holds them still; else the rows as they are now.
        TReadUsers now;
        const bool same = !FReadDigest.empty() && Digest(db) == FReadDigest;
        if (!same) now = ReadOurs(db);
        const std::vector<TUserView>& have = same ? FRead.Users() : now.Users();
        const TStoreDiff diff = DiffUsers(have, want);
        CheckOwners(db, diff.Add);
        TStoreChanges changes;
        changes.Unchanged = diff.Unchanged;
        changes.Added = diff.Add.size();
        changes.Changed = diff.Change.size();
        changes.Removed = diff.Remove.size();

        TCells memberships(3);
        for (const TUserView* user : diff.Add)
            for (const std::string& group : user->Groups)
                memberships.Add({user->Login, group, FOwner});
        TCells passwords(2), leftGroups(2);
        for (const auto& [before, after] : diff.Change) {
            if (before->Hash != after->Hash) passwords.Add({after->Hash, after->Login});
            for (const std::string& group : before->Groups)
                if (!std::binary_search(after->Groups.begin(), after->Groups.end(), group))
                    leftGroups.Add({after->Login, group});
            for (const std::string& group : after->Groups)
                if (!std::binary_search(before->Groups.begin(), before->Groups.end(), group))
                    memberships.Add({after->Login, group, FOwner});
        }
        TCells removed(1);
        for (const TUserView* user : diff.Remove)
            removed.Add({user->Login});

        db.Each(KDeleteMembership, leftGroups, {FOwner});
        db.Each(KDeleteGroupsOf, removed, {FOwner});
        db.Each(KDeleteUser, removed, {FOwner});
        db.Each(KUpdatePassword, passwords, {FOwner});
        // New users a batch at a time: the cells of a first sync's million rows are never held
        // at once.
        for (std::size_t first = 0; first < diff.Add.size(); first += KAppendBatch) {
            TCells users(3);
            const std::size_t end = std::min(diff.Add.size(), first + KAppendBatch);
            for (std::size_t i = first; i < end; ++i)
                users.Add({diff.Add[i]->Login, diff.Add[i]->Hash, FOwner});
            db.Append("auth_users", "login, password, owner", users);
        }
        db.Append("auth_groups", "login, groupname, owner", memberships);
        return changes;
    }

    // Refuses, before anything is written, a login to add that another owner holds. Only the
    // logins to add are looked up, and none when every row is this owner's.
    void CheckOwners(ISqlConnection& db, const std::vector<const TUserView*>& added) {
        if (added.empty()) return;
        if (db.Rows("SELECT 1 FROM auth_users WHERE owner <> $1 LIMIT 1", {FOwner}).empty()) return;
        TCells logins(1);
        for (const TUserView* user : added)
            logins.Add({user->Login});
        std::vector<TRow> held = db.Each(KOwnersOf, logins, {FOwner});
        if (held.empty()) return;
        const TRow& first = *std::min_element(held.begin(), held.end());
        throw EQuorvaneError(Msg(texts::StoreForeignLogin, FName, first.at(0), first.at(1)));
    }

    std::string FName, FOwner;
    TConnect FConnect;
    bool FExists = false;
    bool FOpen = false;
    std::unique_ptr<ISqlConnection> FConnection;
    // What the last Read found, and the digest of those rows ("" when it was not taken).
    TReadUsers FRead;
    std::string FReadDigest;
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
