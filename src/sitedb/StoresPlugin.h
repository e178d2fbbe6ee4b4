#pragma once
// The boundary of the stores' plugin: SQLite, PostgreSQL and LDAP live in a library of their own
// (with libsqlite3, libpq and libldap), loaded by OpenUserStore on first use.

#include "sitedb/UserStore.h"

#include <memory>

namespace quorvane {

class IStoreOpener {
public:
    virtual ~IStoreOpener() = default;
    virtual std::unique_ptr<IUserStore> Open(const TStoreSettings& settings) const = 0;
};

// Inside the plugin: the stores of each kind.
std::unique_ptr<IUserStore> OpenSqliteStore(const TStoreSettings& settings);
std::unique_ptr<IUserStore> OpenPostgresStore(const TStoreSettings& settings);
std::unique_ptr<IUserStore> OpenLdapStore(const TStoreSettings& settings);

inline const char* const KStoresPlugin = "quorvane-stores.so";
inline const char* const KStoresEntry = "quorvane_stores";
using TStoresEntry = const IStoreOpener* (*)();

} // namespace quorvane

// The plugin's one entry: its opener, which lives as long as the process.
extern "C" const quorvane::IStoreOpener* quorvane_stores();
