// The LDAP store: one entry per user right under the base DN,
//   dn: uid=LOGIN,BASE   objectClass: account, simpleSecurityObject
//   uid: LOGIN   userPassword: {CRYPT}HASH   description: quorvane-owner:OWNER
// and one groupOfNames entry per group, cn=GROUP,BASE, its members the users' DNs. The
// description marks the entries this database made; no other entry is changed. A directory has
// no transactions: the change set is prepared by Stage and applied in order by Commit, which
// undoes what it applied when a later change is refused.

#include "base/Errors.h"
#include "sitedb/SiteDbTexts.h"
#include "sitedb/StoresPlugin.h"
#include "sitedb/UserStore.h"

#include <ldap.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <unordered_map>
#include <utility>

namespace quorvane {

namespace {

const char* const KOwnerMark = "quorvane-owner:";
// Entries a page of a search asks for: below the size limits directories set by default.
constexpr ber_int_t KPageSize = 200;

// RFC 4514: the characters a value of a DN must escape.
std::string DnValue(const std::string& value) {
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        const bool edge = (i == 0 && (c == '#' || c == ' ')) || (i + 1 == value.size() && c == ' ');
        if (c == '\0') {
            out += "\\00";
            continue;
        }
        if (edge || std::strchr(",+\"\\<>;=", c) != nullptr) out += '\\';
        out += c;
    }
    return out;
}

// RFC 4515: the characters a value in a search filter must escape.
std::string FilterValue(const std::string& value) {
    static const char* const hex = "0123456789abcdef";
    std::string out;
    for (const char c : value) {
        if (c == '*' || c == '(' || c == ')' || c == '\\' || c == '\0') {
            out += '\\';
            out += hex[(static_cast<unsigned char>(c) >> 4) & 0xf];
            out += hex[static_cast<unsigned char>(c) & 0xf];
        } else {
            out += c;
        }
    }
    return out;
}

// A DN as the directory compares it: parsed, attribute names and values in lower case, each
// value's bytes escaped one way. A server spells a DN its own way ("uid=a\2Cb" for our
// "uid=a\,b"), so DNs are never compared as they are written.
std::string DnKey(const std::string& dn) {
    LDAPDN parsed = nullptr;
    if (ldap_str2dn(dn.c_str(), &parsed, LDAP_DN_FORMAT_LDAPV3) != LDAP_SUCCESS ||
        parsed == nullptr) {
        std::string lower = dn;
        for (char& c : lower)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        return lower;
    }
    static const char* const hex = "0123456789abcdef";
    std::string key;
    for (LDAPRDN* rdn = parsed; *rdn != nullptr; ++rdn) {
        if (!key.empty()) key += ',';
        bool first = true;
        for (LDAPAVA** ava = *rdn; *ava != nullptr; ++ava) {
            if (!first) key += '+';
            first = false;
            for (ber_len_t i = 0; i < (*ava)->la_attr.bv_len; ++i) {
                const char c = (*ava)->la_attr.bv_val[i];
                key += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
            }
            key += '=';
            if (((*ava)->la_flags & LDAP_AVA_BINARY) != 0) key += '#';
            for (ber_len_t i = 0; i < (*ava)->la_value.bv_len; ++i) {
                auto c = static_cast<unsigned char>((*ava)->la_value.bv_val[i]);
                if (c >= 'A' && c <= 'Z') c = static_cast<unsigned char>(c - 'A' + 'a');
                if (std::isalnum(c) != 0 || c == '-' || c == '.' || c == '_') {
                    key += static_cast<char>(c);
                } else {
                    key += '\\';
                    key += hex[c >> 4];
                    key += hex[c & 15];
                }
            }
        }
    }
    ldap_dnfree(parsed);
    return key;
}

// Whether the system's crypt, which the directory checks a {CRYPT} password with, knows the
// hash: MD5-crypt, bcrypt, SHA-crypt, yescrypt.
bool CryptKnows(const std::string& hash) {
    for (const char* prefix : {"$1$", "$2a$", "$2b$", "$2y$", "$5$", "$6$", "$y$", "$7$"})
        if (hash.rfind(prefix, 0) == 0) return true;
    return false;
}

std::string HashTag(const std::string& hash) {
    if (!hash.empty() && hash[0] == '$') return hash.substr(0, hash.find('$', 1) + 1);
    if (!hash.empty() && hash[0] == '{') return hash.substr(0, hash.find('}') + 1);
    return "plain text";
}

struct TEntry {
    std::string Dn;
    std::map<std::string, std::vector<std::string>> Values; // lower-case attribute names
    const std::vector<std::string>* Get(const std::string& name) const {
        const auto found = Values.find(name);
        return found == Values.end() ? nullptr : &found->second;
    }
};

// One change of the set, with the change that undoes it.
struct TChange {
    enum class TChangeKind { Add, Replace, Delete } Kind;
    std::string Dn;
    std::map<std::string, std::vector<std::string>> Values; // Add, Replace: the attributes
    const TEntry* Old = nullptr; // Replace, Delete: the entry as it was read
};

// The operational attribute a directory stamps every change of an entry with.
const char* const KStamp = "modifyTimestamp";

// What the directory held of this database's entries when it was last read.
struct TReadEntries {
    bool Valid = false;
    std::vector<TStoredUser> Users;            // in login byte order
    std::map<std::string, TEntry> UserEntries; // by login
    std::map<std::string, TEntry> Groups;      // by name
    // The latest change stamp among them: entries changed since carry this one or a later one.
    // Empty when the directory gave none, or none comparable.
    std::string Stamp;
};

class TLdapStore final : public IUserStore {
public:
    explicit TLdapStore(TStoreSettings settings)
        : FSettings(std::move(settings)), FName(StoreShownName(FSettings)),
          FMark(KOwnerMark + FSettings.Owner) {}
    ~TLdapStore() override { Close(); }
    TLdapStore(const TLdapStore&) = delete;
    TLdapStore& operator=(const TLdapStore&) = delete;

    const std::vector<TStoredUser>& ReadInPlace() override {
        Connect();
        ReadOurs();
        Close();
        return FRead.Users;
    }
    bool Exists() const override { return FExists; }

    TStoreChanges Stage(const std::vector<TStoredUser>& want) override {
        FPlan.clear();
        Close();
        for (const TStoredUser& user : want)
            if (!CryptKnows(user.Hash))
                throw EQuorvaneError(Msg(texts::LdapNeedsCrypt, user.Login, HashTag(user.Hash)));
        Connect();
        try {
            return Prepare(want);
        } catch (...) {
            Rollback();
            throw;
        }
    }

    // The entries as they were read are what is wanted: when they still hold, Prepare plans
    // nothing.
    TStoreChanges StageRead() override {
        const std::vector<TStoredUser> want = FRead.Users;
        return Stage(want);
    }

    void Commit() override {
        std::vector<TChange> plan;
        plan.swap(FPlan);
        // Whatever comes of it, what was read is no longer known to be there.
        const TReadEntries read = std::exchange(FRead, TReadEntries());
        std::vector<TChange> undo;
        for (const TChange& change : plan) {
            TChange inverse = Inverse(change);
            const int rc = Apply(change);
            if (rc == LDAP_SUCCESS) {
                undo.push_back(std::move(inverse));
                continue;
            }
            const TMessage reason = Verbatim(ldap_err2string(rc));
            const std::size_t applied = undo.size();
            for (auto it = undo.rbegin(); it != undo.rend(); ++it) {
                const int back = Apply(*it);
                if (back != LDAP_SUCCESS) {
                    const TMessage failure = Msg(texts::LdapNotUndone, FName, change.Dn, reason,
                                                 it->Dn, Verbatim(ldap_err2string(back)));
                    Close();
                    throw EQuorvaneError(failure);
                }
            }
            const TMessage failure =
                Msg(texts::LdapUndone, FName, change.Dn, reason, Count(applied));
            Close();
            throw EQuorvaneError(failure);
        }
        Close();
    }

    // What was read stays known: nothing staged was applied.
    void Rollback() noexcept override {
        FPlan.clear();
        Close();
    }

private:
    void Connect() {
        if (FLdap != nullptr) return;
        const bool ldaps = FSettings.Location.rfind("ldaps://", 0) == 0;
        if (ldap_initialize(&FLdap, FSettings.Location.c_str()) != LDAP_SUCCESS)
            throw EQuorvaneError(
                Msg(texts::StoreConnectFailed, FName, Verbatim("not a valid LDAP address")));
        int version = LDAP_VERSION3;
        ldap_set_option(FLdap, LDAP_OPT_PROTOCOL_VERSION, &version);
        timeval timeout{FSettings.TimeoutSeconds, 0};
        ldap_set_option(FLdap, LDAP_OPT_NETWORK_TIMEOUT, &timeout);
        ldap_set_option(FLdap, LDAP_OPT_TIMEOUT, &timeout);
        ldap_set_option(FLdap, LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
        // The bind password never travels in clear: ldap:// must turn to TLS first.
        if (!ldaps) {
            const int rc = ldap_start_tls_s(FLdap, nullptr, nullptr);
            if (rc != LDAP_SUCCESS) {
                const std::string reason = ldap_err2string(rc);
                Close();
                if (rc == LDAP_SERVER_DOWN || rc == LDAP_TIMEOUT || rc == LDAP_CONNECT_ERROR)
                    throw EQuorvaneError(Msg(texts::StoreConnectFailed, FName, Verbatim(reason)));
                throw EQuorvaneError(Msg(texts::LdapNoTls, FName, Verbatim(reason)));
            }
        }
        berval credentials{};
        credentials.bv_val = const_cast<char*>(FSettings.Password.c_str());
        credentials.bv_len = FSettings.Password.size();
        const int rc = ldap_sasl_bind_s(FLdap, FSettings.Login.c_str(), LDAP_SASL_SIMPLE,
                                        &credentials, nullptr, nullptr, nullptr);
        if (rc != LDAP_SUCCESS) {
            const std::string reason = ldap_err2string(rc);
            Close();
            if (rc == LDAP_SERVER_DOWN || rc == LDAP_TIMEOUT || rc == LDAP_CONNECT_ERROR)
                throw EQuorvaneError(Msg(texts::StoreConnectFailed, FName, Verbatim(reason)));
            throw EQuorvaneError(
                Msg(texts::LdapLoginFailed, FName, FSettings.Login, Verbatim(reason)));
        }
    }

    void Close() noexcept {
        if (FLdap != nullptr) ldap_unbind_ext_s(FLdap, nullptr, nullptr);
        FLdap = nullptr;
    }

    // The entries right under the base that match, read a page at a time (RFC 2696): a
    // directory answers a plain search with no more entries than its size limit.
    std::vector<TEntry> Search(const std::string& filter, std::vector<const char*> attributes) {
        attributes.push_back(nullptr);
        std::vector<TEntry> entries;
        berval cookie{};
        std::unique_ptr<char, void (*)(char*)> cookieOwner(nullptr,
                                                           [](char* p) { ber_memfree(p); });
        for (;;) {
            LDAPControl* page = nullptr;
            if (ldap_create_page_control(FLdap, KPageSize, cookie.bv_len > 0 ? &cookie : nullptr, 0,
                                         &page) != LDAP_SUCCESS)
                throw EQuorvaneError(
                    Msg(texts::StoreRefused, FName, Verbatim("could not ask for a paged search")));
            LDAPControl* controls[] = {page, nullptr};
            LDAPMessage* result = nullptr;
            int rc = ldap_search_ext_s(FLdap, FSettings.BaseDn.c_str(), LDAP_SCOPE_ONELEVEL,
                                       filter.c_str(), const_cast<char**>(attributes.data()), 0,
                                       controls, nullptr, nullptr, LDAP_NO_LIMIT, &result);
            ldap_control_free(page);
            std::unique_ptr<LDAPMessage, int (*)(LDAPMessage*)> owner(result, ldap_msgfree);
            if (rc == LDAP_NO_SUCH_OBJECT) {
                FExists = false;
                return {};
            }
            if (rc == LDAP_SIZELIMIT_EXCEEDED)
                throw EQuorvaneError(Msg(texts::LdapSizeLimit, FName, FSettings.Login));
            if (rc != LDAP_SUCCESS)
                throw EQuorvaneError(
                    Msg(texts::StoreRefused, FName, Verbatim(ldap_err2string(rc))));
            FExists = true;
            for (LDAPMessage* e = ldap_first_entry(FLdap, result); e != nullptr;
                 e = ldap_next_entry(FLdap, e))
                entries.push_back(EntryOf(e, attributes));
            // The next page, while the server gives a cookie for one.
            LDAPControl** returned = nullptr;
            int code = LDAP_SUCCESS;
            if (result != nullptr)
                ldap_parse_result(FLdap, result, &code, nullptr, nullptr, nullptr, &returned, 0);
            const LDAPControl* response =
                ldap_control_find(LDAP_CONTROL_PAGEDRESULTS, returned, nullptr);
            ber_int_t estimate = 0;
            berval next{};
            if (response != nullptr &&
                ldap_parse_pageresponse_control(FLdap, const_cast<LDAPControl*>(response),
                                                &estimate, &next) != LDAP_SUCCESS)
                next = berval{};
            ldap_controls_free(returned);
            cookieOwner.reset(next.bv_val);
            cookie = next;
            if (cookie.bv_len == 0) break;
        }
        return entries;
    }

    TEntry EntryOf(LDAPMessage* e, const std::vector<const char*>& attributes) {
        TEntry entry;
        char* dn = ldap_get_dn(FLdap, e);
        entry.Dn = dn != nullptr ? dn : "";
        ldap_memfree(dn);
        for (const char* attribute : attributes) {
            if (attribute == nullptr) break;
            berval** values = ldap_get_values_len(FLdap, e, attribute);
            if (values == nullptr) continue;
            std::vector<std::string>& list = entry.Values[attribute];
            for (berval** v = values; *v != nullptr; ++v)
                list.emplace_back((*v)->bv_val, (*v)->bv_len);
            ldap_value_free_len(values);
        }
        return entry;
    }

    std::string UserDn(const std::string& login) const {
        return "uid=" + DnValue(login) + "," + FSettings.BaseDn;
    }
    std::string GroupDn(const std::string& group) const {
        return "cn=" + DnValue(group) + "," + FSettings.BaseDn;
    }

    // Reads this database's entries into FRead.
    void ReadOurs() {
        FRead = TReadEntries();
        const std::string mark = "(description=" + FilterValue(FMark) + ")";
        bool stamped = true;
        const auto stamp = [&](const TEntry& entry) {
            const auto* value = entry.Get(KStamp);
            if (value == nullptr || value->empty() ||
                (!FRead.Stamp.empty() && value->front().size() != FRead.Stamp.size())) {
                stamped = false;
                return;
            }
            FRead.Stamp = std::max(FRead.Stamp, value->front());
        };
        std::unordered_map<std::string, std::string> loginOfDn;
        for (TEntry& entry : Search("(&(objectClass=simpleSecurityObject)" + mark + ")",
                                    {"uid", "userPassword", KStamp})) {
            const auto* uid = entry.Get("uid");
            if (uid == nullptr || uid->empty()) continue;
            stamp(entry);
            const std::string login = uid->front();
            loginOfDn[entry.Dn] = login;
            FRead.UserEntries[login] = std::move(entry);
        }
        // Members by the DN as the server spells the user's entry; another spelling of it is
        // looked up by the DN's parsed form, made only when one turns up.
        std::unordered_map<std::string, std::string> loginOfKey;
        const auto loginOf = [&](const std::string& member) -> const std::string* {
            if (const auto found = loginOfDn.find(member); found != loginOfDn.end())
                return &found->second;
            if (loginOfKey.empty())
                for (const auto& [dn, login] : loginOfDn)
                    loginOfKey[DnKey(dn)] = login;
            const auto found = loginOfKey.find(DnKey(member));
            return found != loginOfKey.end() ? &found->second : nullptr;
        };
        std::map<std::string, std::vector<std::string>> groupsOf;
        for (TEntry& entry :
             Search("(&(objectClass=groupOfNames)" + mark + ")", {"cn", "member", KStamp})) {
            const auto* cn = entry.Get("cn");
            if (cn == nullptr || cn->empty()) continue;
            stamp(entry);
            const std::string group = cn->front();
            if (const auto* members = entry.Get("member"))
                for (const std::string& member : *members)
                    if (const std::string* login = loginOf(member))
                        groupsOf[*login].push_back(group);
            FRead.Groups[group] = std::move(entry);
        }
        FRead.Users.reserve(FRead.UserEntries.size());
        for (const auto& [login, entry] : FRead.UserEntries) {
            TStoredUser user{login, {}, {}};
            if (const auto* password = entry.Get("userPassword"); password && !password->empty()) {
                user.Hash = password->front();
                if (user.Hash.size() >= 7 && strncasecmp(user.Hash.c_str(), "{CRYPT}", 7) == 0)
                    user.Hash.erase(0, 7);
            }
            if (const auto found = groupsOf.find(login); found != groupsOf.end()) {
                user.Groups = std::move(found->second);
                std::sort(user.Groups.begin(), user.Groups.end());
            }
            FRead.Users.push_back(std::move(user));
        }
        if (!stamped) FRead.Stamp.clear();
        FRead.Valid = true;
    }

    // Whether the directory holds this database's entries as they were read: none of them
    // changed, and none was added, since. An entry changed since carries a change stamp no
    // earlier than the latest one read, so only those are asked for.
    bool ReadStillHolds() {
        if (!FRead.Valid || FRead.Stamp.empty()) return false;
        std::vector<TEntry> changed;
        try {
            changed = Search("(&(|(objectClass=simpleSecurityObject)(objectClass=groupOfNames))"
                             "(description=" +
                                 FilterValue(FMark) + ")(" + KStamp +
                                 ">=" + FilterValue(FRead.Stamp) + "))",
                             {"uid", "userPassword", "cn", "member", KStamp});
        } catch (const EQuorvaneError&) {
            // A directory that cannot answer it: the entries are read again.
            return false;
        }
        if (!FExists) return false;
        for (const TEntry& entry : changed) {
            const auto* uid = entry.Get("uid");
            const auto* cn = entry.Get("cn");
            const TEntry* was = nullptr;
            if (uid != nullptr && !uid->empty()) {
                const auto found = FRead.UserEntries.find(uid->front());
                if (found != FRead.UserEntries.end()) was = &found->second;
            } else if (cn != nullptr && !cn->empty()) {
                const auto found = FRead.Groups.find(cn->front());
                if (found != FRead.Groups.end()) was = &found->second;
            }
            if (was == nullptr || was->Dn != entry.Dn) return false;
            for (const char* attribute : {"userPassword", "member", KStamp}) {
                const auto* before = was->Get(attribute);
                const auto* now = entry.Get(attribute);
                if ((before == nullptr) != (now == nullptr) || (now != nullptr && *before != *now))
                    return false;
            }
        }
        return true;
    }

    TStoreChanges Prepare(const std::vector<TStoredUser>& want) {
        if (!ReadStillHolds()) ReadOurs();
        const std::vector<TStoredUser>& have = FRead.Users;
        // Entries of the same names that are not this database's are never taken over: the
        // names about to be made are looked up, a few hundred a search.
        const TStoreDiff diff = DiffUsers(have, want);
        std::vector<std::string> made;
        for (const TStoredUser* user : diff.Add)
            made.push_back("(uid=" + FilterValue(user->Login) + ")");
        std::set<std::string> wantedGroups;
        for (const TStoredUser& user : want)
            wantedGroups.insert(user.Groups.begin(), user.Groups.end());
        for (const std::string& group : wantedGroups)
            if (FRead.Groups.count(group) == 0) made.push_back("(cn=" + FilterValue(group) + ")");
        std::set<std::string> foreign;
        for (std::size_t first = 0; first < made.size(); first += 500) {
            std::string filter = "(|";
            for (std::size_t i = first; i < made.size() && i < first + 500; ++i)
                filter += made[i];
            for (const TEntry& entry : Search(filter + ")", {"description"})) {
                const auto* description = entry.Get("description");
                const bool ours = description != nullptr &&
                                  std::find(description->begin(), description->end(), FMark) !=
                                      description->end();
                if (!ours) foreign.insert(DnKey(entry.Dn));
            }
        }
        for (const TStoredUser* user : diff.Add)
            if (foreign.count(DnKey(UserDn(user->Login))) != 0)
                throw EQuorvaneError(Msg(texts::StoreNotOurs, FName, UserDn(user->Login)));

        FPlan.clear();
        TStoreChanges changes;
        changes.Unchanged = diff.Unchanged;
        for (const TStoredUser* user : diff.Add) {
            FPlan.push_back({TChange::TChangeKind::Add,
                             UserDn(user->Login),
                             {{"objectClass", {"account", "simpleSecurityObject"}},
                              {"uid", {user->Login}},
                              {"userPassword", {"{CRYPT}" + user->Hash}},
                              {"description", {FMark}}}});
            ++changes.Added;
        }
        for (const auto& [before, after] : diff.Change) {
            if (before->Hash != after->Hash)
                FPlan.push_back({TChange::TChangeKind::Replace,
                                 UserDn(after->Login),
                                 {{"userPassword", {"{CRYPT}" + after->Hash}}},
                                 &FRead.UserEntries.at(before->Login)});
            ++changes.Changed;
        }
        // The groups as they should be, their members by DN.
        std::map<std::string, std::vector<std::string>> groups;
        for (const TStoredUser& user : want)
            for (const std::string& group : user.Groups)
                groups[group].push_back(UserDn(user.Login));
        for (auto& [group, members] : groups) {
            std::sort(members.begin(), members.end());
            const auto old = FRead.Groups.find(group);
            if (old == FRead.Groups.end()) {
                if (foreign.count(DnKey(GroupDn(group))) != 0)
                    throw EQuorvaneError(Msg(texts::StoreNotOurs, FName, GroupDn(group)));
                FPlan.push_back({TChange::TChangeKind::Add,
                                 GroupDn(group),
                                 {{"objectClass", {"groupOfNames"}},
                                  {"cn", {group}},
                                  {"member", members},
                                  {"description", {FMark}}}});
                continue;
            }
            if (!SameMembers(old->second.Get("member"), members))
                FPlan.push_back({TChange::TChangeKind::Replace,
                                 old->second.Dn,
                                 {{"member", members}},
                                 &old->second});
        }
        for (const auto& [group, entry] : FRead.Groups)
            if (groups.count(group) == 0)
                FPlan.push_back({TChange::TChangeKind::Delete, entry.Dn, {}, &entry});
        for (const TStoredUser* user : diff.Remove) {
            FPlan.push_back({TChange::TChangeKind::Delete,
                             UserDn(user->Login),
                             {},
                             &FRead.UserEntries.at(user->Login)});
            ++changes.Removed;
        }
        return changes;
    }

    // Whether a group's members as read are `members` (sorted), however the server spells
    // their DNs: compared as written first, parsed only when that differs.
    static bool SameMembers(const std::vector<std::string>* read,
                            const std::vector<std::string>& members) {
        std::vector<std::string> was = read != nullptr ? *read : std::vector<std::string>{};
        if (was.size() != members.size()) return false;
        std::sort(was.begin(), was.end());
        if (was == members) return true;
        std::vector<std::string> oldKeys, newKeys;
        for (const std::string& member : was)
            oldKeys.push_back(DnKey(member));
        for (const std::string& member : members)
            newKeys.push_back(DnKey(member));
        std::sort(oldKeys.begin(), oldKeys.end());
        std::sort(newKeys.begin(), newKeys.end());
        return oldKeys == newKeys;
    }

    // The change that undoes `change`, from what the directory held when it was read.
    TChange Inverse(const TChange& change) const {
        const TEntry* old = change.Old;
        switch (change.Kind) {
        case TChange::TChangeKind::Add:
            return {TChange::TChangeKind::Delete, change.Dn, {}};
        case TChange::TChangeKind::Replace: {
            TChange inverse{TChange::TChangeKind::Replace, change.Dn, {}};
            for (const auto& [attribute, values] : change.Values) {
                const std::vector<std::string>* was =
                    old != nullptr ? old->Get(attribute) : nullptr;
                inverse.Values[attribute] = was != nullptr ? *was : std::vector<std::string>{};
            }
            return inverse;
        }
        case TChange::TChangeKind::Delete: {
            TChange inverse{TChange::TChangeKind::Add, change.Dn, {}};
            if (old == nullptr) return inverse;
            const bool group = old->Get("cn") != nullptr;
            inverse.Values = old->Values;
            // The directory's own stamp is not given back: it makes it again.
            inverse.Values.erase(KStamp);
            inverse.Values["objectClass"] =
                group ? std::vector<std::string>{"groupOfNames"}
                      : std::vector<std::string>{"account", "simpleSecurityObject"};
            inverse.Values["description"] = {FMark};
            return inverse;
        }
        }
        return change;
    }

    int Apply(const TChange& change) {
        if (change.Kind == TChange::TChangeKind::Delete)
            return ldap_delete_ext_s(FLdap, change.Dn.c_str(), nullptr, nullptr);
        // The attribute lists libldap takes, pointing into change.
        std::vector<std::vector<berval>> values;
        std::vector<std::vector<berval*>> pointers;
        std::vector<LDAPMod> mods;
        values.reserve(change.Values.size());
        pointers.reserve(change.Values.size());
        mods.reserve(change.Values.size());
        for (const auto& [attribute, list] : change.Values) {
            values.emplace_back();
            for (const std::string& v : list)
                values.back().push_back({v.size(), const_cast<char*>(v.data())});
            pointers.emplace_back();
            for (berval& b : values.back())
                pointers.back().push_back(&b);
            pointers.back().push_back(nullptr);
            LDAPMod mod{};
            mod.mod_op =
                (change.Kind == TChange::TChangeKind::Add ? LDAP_MOD_ADD : LDAP_MOD_REPLACE) |
                LDAP_MOD_BVALUES;
            mod.mod_type = const_cast<char*>(attribute.c_str());
            mod.mod_bvalues = pointers.back().data();
            mods.push_back(mod);
        }
        std::vector<LDAPMod*> modPointers;
        modPointers.reserve(mods.size() + 1);
        for (LDAPMod& mod : mods)
            modPointers.push_back(&mod);
        modPointers.push_back(nullptr);
        if (change.Kind == TChange::TChangeKind::Add)
            return ldap_add_ext_s(FLdap, change.Dn.c_str(), modPointers.data(), nullptr, nullptr);
        return ldap_modify_ext_s(FLdap, change.Dn.c_str(), modPointers.data(), nullptr, nullptr);
    }

    TStoreSettings FSettings;
    std::string FName, FMark;
    LDAP* FLdap = nullptr;
    bool FExists = false;
    TReadEntries FRead;
    std::vector<TChange> FPlan;
};

} // namespace

std::unique_ptr<IUserStore> OpenLdapStore(const TStoreSettings& settings) {
    return std::make_unique<TLdapStore>(settings);
}

} // namespace quorvane
