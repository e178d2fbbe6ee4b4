#include "sitedb/StoresPlugin.h"

namespace quorvane {

namespace {

class TStoreOpener final : public IStoreOpener {
public:
    std::unique_ptr<IUserStore> Open(const TStoreSettings& settings) const override {
        switch (settings.Kind) {
        case TStoreKind::Sqlite:
            return OpenSqliteStore(settings);
        case TStoreKind::Postgres:
            return OpenPostgresStore(settings);
        case TStoreKind::Ldap:
            return OpenLdapStore(settings);
        }
        return nullptr;
    }
};

} // namespace

} // namespace quorvane

extern "C" __attribute__((visibility("default"))) const quorvane::IStoreOpener* quorvane_stores() {
    static const quorvane::TStoreOpener opener;
    return &opener;
}
