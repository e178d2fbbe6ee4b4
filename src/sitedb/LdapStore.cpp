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
#include <memory>
#include <optional>
#include <set>
#include <unordered_map>
#include <utility>

namespace quorvane {

namespace {

const char* const KOwnerMark = "quorvane-owner:";
// Entries a page of a search asks for: below the size limits directories set by default.
constexpr ber_int_t KPageSize = 200;

// RFC 4514: the characters a value of a DN must escape.
std::string DnValue(std::string_view value) {
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
std::string FilterValue(std::string_view value) {
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
bool CryptKnows(std::string_view hash) {
    for (const char* prefix : {"$1$", "$2a$", "$2b$", "$2y$", "$5$", "$6$", "$y$", "$7$"})
        if (hash.starts_with(prefix)) return true;
    return false;
}

std::string HashTag(std::string_view hash) {
    if (!hash.empty() && hash[0] == '$') return std::string(hash.substr(0, hash.find('$', 1) + 1));
    if (!hash.empty() && hash[0] == '{') return std::string(hash.substr(0, hash.find('}') + 1));
    return "plain text";
}

// The userPassword value of a hash the system's crypt checks.
std::string Crypt(std::string_view hash) {
    return std::string("{CRYPT}").append(hash);
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
    std::unique_ptr<const TEntry> Old; // Replace, Delete: the entry as it was read
    // Add of a user's entry, its attributes made when it is applied (a first sync plans one
    // for every user): the login, and the hash of its userPassword.
    std::string Login = {}, Hash = {};
};

// A user's entry as read, in little: what the user read from it does not say already.
struct TUserEntry {
    std::string Dn;    // as the directory spells it; empty: as this program does
    std::string Stamp; // its change stamp; empty: none given
    // Its uid and userPassword values (those it has), when they are other than the login and
    // "{CRYPT}HASH", one each, as this program writes them; none: those.
    std::unique_ptr<std::map<std::string, std::vector<std::string>>> Other;
};

// The operational attribute a directory stamps every change of an entry with.
const char* const KStamp = "modifyTimestamp";

// What the directory held of this database's entries when it was last read.
struct TReadEntries {
    bool Valid = false;
    // In login byte order; shared with a sync that wants them while the entries are read again.
    std::shared_ptr<const TReadUsers> Users = std::make_shared<TReadUsers>();
    std::vector<TUserEntry> UserEntries;  // of the users, place by place
    std::map<std::string, TEntry> Groups; // by name
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

    const std::vector<TUserView>& ReadInPlace() override {
        Connect();
        ReadOurs();
        Close();
        return FRead.Users->Users();
    }
    bool Exists() const override { return FExists; }

    TStoreChanges StageUsers(const std::vector<TUserView>& want) override {
        FPlan.clear();
        Close();
        for (const TUserView& user : want)
            if (!CryptKnows(user.Hash))
                throw EQuorvaneError(
                    Msg(texts::LdapNeedsCrypt, std::string(user.Login), HashTag(user.Hash)));
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
        const std::shared_ptr<const TReadUsers> want = FRead.Users;
        return StageUsers(want->Users());
    }

    void Commit() override {
        std::vector<TChange> plan;
        plan.swap(FPlan);
        // Whatever comes of it, what was read is no longer known to be there.
        FRead = TReadEntries();
        for (std::size_t applied = 0; applied < plan.size(); ++applied) {
            const TChange& change = plan[applied];
            const int rc = Apply(change);
            if (rc == LDAP_SUCCESS) continue;
            const TMessage reason = Verbatim(ldap_err2string(rc));
            // What was applied is undone, the last first; each undo is made from its change
            // (the entry as it was read) only now.
            for (std::size_t at = applied; at-- > 0;) {
                const TChange inverse = Inverse(plan[at]);
                const int back = Apply(inverse);
                if (back != LDAP_SUCCESS) {
                    const TMessage failure = Msg(texts::LdapNotUndone, FName, change.Dn, reason,
                                                 inverse.Dn, Verbatim(ldap_err2string(back)));
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
    std::vector<TEntry> Search(const std::string& filter,
                               const std::vector<const char*>& attributes) {
        std::vector<TEntry> entries;
        Search(filter, attributes,
               [&entries](TEntry& entry) { entries.push_back(std::move(entry)); });
        return entries;
    }

    // The same, each entry given to `each` as it comes, a page held at a time.
    void Search(const std::string& filter, std::vector<const char*> attributes,
                const std::function<void(TEntry&)>& each) {
        attributes.push_back(nullptr);
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
                return;
            }
            if (rc == LDAP_SIZELIMIT_EXCEEDED)
                throw EQuorvaneError(Msg(texts::LdapSizeLimit, FName, FSettings.Login));
            if (rc != LDAP_SUCCESS)
                throw EQuorvaneError(
                    Msg(texts::StoreRefused, FName, Verbatim(ldap_err2string(rc))));
            FExists = true;
            for (LDAPMessage* e = ldap_first_entry(FLdap, result); e != nullptr;
                 e = ldap_next_entry(FLdap, e)) {
                TEntry entry = EntryOf(e, attributes);
                each(entry);
            }
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

    std::string UserDn(std::string_view login) const {
        return "uid=" + DnValue(login) + "," + FSettings.BaseDn;
    }
    std::string GroupDn(std::string_view group) const {
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
        auto users = std::make_shared<TReadUsers>();
        std::vector<TUserEntry> entries;
        Search("(&(objectClass=simpleSecurityObject)" + mark + ")", {"uid", "userPassword", KStamp},
               [&](TEntry& entry) {
                   const auto* uid = entry.Get("uid");
                   if (uid == nullptr || uid->empty()) return;
                   stamp(entry);
                   const std::string& login = uid->front();
                   const auto* passwords = entry.Get("userPassword");
                   std::string_view hash;
                   if (passwords != nullptr && !passwords->empty()) {
                       hash = passwords->front();
                       if (hash.size() >= 7 && strncasecmp(hash.data(), "{CRYPT}", 7) == 0)
                           hash.remove_prefix(7);
                   }
                   users->Add(login, hash);
                   TUserEntry& compact = entries.emplace_back();
                   if (entry.Dn != UserDn(login)) compact.Dn = std::move(entry.Dn);
                   if (const auto* stamps = entry.Get(KStamp); stamps && !stamps->empty())
                       compact.Stamp = stamps->front();
                   const bool asWritten = uid->size() == 1 && passwords != nullptr &&
                                          passwords->size() == 1 &&
                                          passwords->front() == Crypt(hash);
                   if (!asWritten) {
                       entry.Values.erase(KStamp);
                       compact.Other =
                           std::make_unique<std::map<std::string, std::vector<std::string>>>(
                               std::move(entry.Values));
                   }
               });
        // In login order; of a login two entries hold, the last read counts.
        if (const std::vector<std::size_t> order = users->SortByLogin(); !order.empty()) {
            std::vector<TUserEntry> sorted;
            sorted.reserve(order.size());
            for (const std::size_t at : order)
                sorted.push_back(std::move(entries[at]));
            entries = std::move(sorted);
        }
        FRead.UserEntries = std::move(entries);
        const std::vector<TUserView>& list = users->Users();
        // Members by the DN as the directory spells the user's entry; another spelling of it is
        // looked up by the DN's parsed form, made only when one turns up.
        std::unordered_map<std::string, std::size_t> placeOfDn, placeOfKey;
        bool spelled = false;
        const auto placeOf = [&](const std::string& member) -> std::optional<std::size_t> {
            if (const auto place = PlaceOfDn(list, member)) return place;
            if (!std::exchange(spelled, true))
                for (std::size_t i = 0; i < list.size(); ++i)
                    if (!FRead.UserEntries[i].Dn.empty()) placeOfDn[FRead.UserEntries[i].Dn] = i;
            if (const auto found = placeOfDn.find(member); found != placeOfDn.end())
                return found->second;
            if (placeOfKey.empty())
                for (std::size_t i = 0; i < list.size(); ++i)
                    placeOfKey[DnKey(DnOf(list, i))] = i;
            const auto found = placeOfKey.find(DnKey(member));
            if (found == placeOfKey.end()) return std::nullopt;
            return found->second;
        };
        std::map<std::size_t, std::vector<std::string>> groupsOf;
        Search("(&(objectClass=groupOfNames)" + mark + ")", {"cn", "member", KStamp},
               [&](TEntry& entry) {
                   const auto* cn = entry.Get("cn");
                   if (cn == nullptr || cn->empty()) return;
                   stamp(entry);
                   const std::string group = cn->front();
                   if (const auto* members = entry.Get("member"))
                       for (const std::string& member : *members)
                           if (const auto place = placeOf(member))
                               groupsOf[*place].push_back(group);
                   FRead.Groups[group] = std::move(entry);
               });
        for (auto& [place, groups] : groupsOf)
            users->SetGroups(place, std::move(groups));
        FRead.Users = std::move(users);
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
            std::optional<TEntry> user;
            const TEntry* was = nullptr;
            if (uid != nullptr && !uid->empty()) {
                if (const auto place = PlaceOf(uid->front())) {
                    user = ReadEntry(*place);
                    was = &*user;
                }
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

    TStoreChanges Prepare(const std::vector<TUserView>& want) {
        if (!ReadStillHolds()) ReadOurs();
        const std::vector<TUserView>& have = FRead.Users->Users();
        // Entries of the same names that are not this database's are never taken over: the
        // names about to be made are looked up, a few hundred a search.
        const TStoreDiff diff = DiffUsers(have, want);
        std::vector<std::string> made;
        for (const TUserView* user : diff.Add)
            made.push_back("(uid=" + FilterValue(user->Login) + ")");
        std::set<std::string> wantedGroups;
        for (const TUserView& user : want)
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
        for (const TUserView* user : diff.Add)
            if (foreign.count(DnKey(UserDn(user->Login))) != 0)
                throw EQuorvaneError(Msg(texts::StoreNotOurs, FName, UserDn(user->Login)));

        FPlan.clear();
        TStoreChanges changes;
        changes.Unchanged = diff.Unchanged;
        for (const TUserView* user : diff.Add) {
            FPlan.push_back({TChange::TChangeKind::Add,
                             UserDn(user->Login),
                             {},
                             nullptr,
                             std::string(user->Login),
                             std::string(user->Hash)});
            ++changes.Added;
        }
        for (const auto& [before, after] : diff.Change) {
            if (before->Hash != after->Hash)
                FPlan.push_back({TChange::TChangeKind::Replace,
                                 UserDn(after->Login),
                                 {{"userPassword", {Crypt(after->Hash)}}},
                                 std::make_unique<const TEntry>(
                                     ReadEntry(static_cast<std::size_t>(before - have.data())))});
            ++changes.Changed;
        }
        // The groups as they should be, their members by DN.
        std::map<std::string, std::vector<std::string>> groups;
        for (const TUserView& user : want)
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
                                  {"description", {FMark}}},
                                 nullptr,
                                 {},
                                 {}});
                continue;
            }
            if (!SameMembers(old->second.Get("member"), members))
                FPlan.push_back({TChange::TChangeKind::Replace,
                                 old->second.Dn,
                                 {{"member", members}},
                                 std::make_unique<const TEntry>(old->second)});
        }
        for (const auto& [group, entry] : FRead.Groups)
            if (groups.count(group) == 0)
                FPlan.push_back({TChange::TChangeKind::Delete,
                                 entry.Dn,
                                 {},
                                 std::make_unique<const TEntry>(entry)});
        for (const TUserView* user : diff.Remove) {
            FPlan.push_back({TChange::TChangeKind::Delete,
                             UserDn(user->Login),
                             {},
                             std::make_unique<const TEntry>(
                                 ReadEntry(static_cast<std::size_t>(user - have.data())))});
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
        const TEntry* old = change.Old.get();
        switch (change.Kind) {
        case TChange::TChangeKind::Add:
            return {TChange::TChangeKind::Delete, change.Dn, {}, nullptr, {}, {}};
        case TChange::TChangeKind::Replace: {
            TChange inverse{TChange::TChangeKind::Replace, change.Dn, {}, nullptr, {}, {}};
            for (const auto& [attribute, values] : change.Values) {
                const std::vector<std::string>* was =
                    old != nullptr ? old->Get(attribute) : nullptr;
                inverse.Values[attribute] = was != nullptr ? *was : std::vector<std::string>{};
            }
            return inverse;
        }
        case TChange::TChangeKind::Delete: {
            TChange inverse{TChange::TChangeKind::Add, change.Dn, {}, nullptr, {}, {}};
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
        return {change.Kind, change.Dn, change.Values, nullptr, change.Login, change.Hash};
    }

    int Apply(const TChange& change) {
        if (change.Kind == TChange::TChangeKind::Delete)
            return ldap_delete_ext_s(FLdap, change.Dn.c_str(), nullptr, nullptr);
        if (!change.Login.empty()) {
            TChange made{change.Kind,
                         change.Dn,
                         {{"objectClass", {"account", "simpleSecurityObject"}},
                          {"uid", {change.Login}},
                          {"userPassword", {Crypt(change.Hash)}},
                          {"description", {FMark}}},
                         nullptr,
                         {},
                         {}};
            return Apply(made);
        }
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

    // The place among the users read of the login's entry.
    std::optional<std::size_t> PlaceOf(std::string_view login) const {
        const std::vector<TUserView>& list = FRead.Users->Users();
        const auto found =
            std::lower_bound(list.begin(), list.end(), login,
                             [](const TUserView& u, std::string_view l) { return u.Login < l; });
        if (found == list.end() || found->Login != login) return std::nullopt;
        return static_cast<std::size_t>(found - list.begin());
    }

    // The DN of the user's entry at a place of `list` (the users being read), as the directory
    // spells it.
    std::string DnOf(const std::vector<TUserView>& list, std::size_t place) const {
        const std::string& dn = FRead.UserEntries[place].Dn;
        return dn.empty() ? UserDn(list[place].Login) : dn;
    }

    // The place in `list` of the user whose entry is `dn` when the directory spells that DN as
    // this program does (the login read back from it); none else.
    std::optional<std::size_t> PlaceOfDn(const std::vector<TUserView>& list,
                                         const std::string& dn) const {
        const std::string suffix = "," + FSettings.BaseDn;
        if (dn.rfind("uid=", 0) == 0 && dn.size() > 4 + suffix.size() &&
            dn.compare(dn.size() - suffix.size(), suffix.size(), suffix) == 0) {
            // The login back from the escapes DnValue writes.
            std::string login;
            const std::string_view value(dn.data() + 4, dn.size() - 4 - suffix.size());
            for (std::size_t i = 0; i < value.size(); ++i) {
                if (value[i] == '\\' && value.substr(i + 1, 2) == "00") {
                    login += '\0';
                    i += 2;
                } else if (value[i] == '\\' && i + 1 < value.size()) {
                    login += value[++i];
                } else {
                    login += value[i];
                }
            }
            const auto found = std::lower_bound(
                list.begin(), list.end(), login,
                [](const TUserView& u, const std::string& l) { return u.Login < l; });
            if (found != list.end() && found->Login == login) {
                const auto place = static_cast<std::size_t>(found - list.begin());
                if (DnOf(list, place) == dn) return place;
            }
        }
        return std::nullopt;
    }

    // The user's entry at a place of the users read, whole, as the directory gave it.
    TEntry ReadEntry(std::size_t place) const {
        const TUserView& user = FRead.Users->Users().at(place);
        const TUserEntry& read = FRead.UserEntries.at(place);
        TEntry entry;
        entry.Dn = DnOf(FRead.Users->Users(), place);
        if (read.Other)
            entry.Values = *read.Other;
        else
            entry.Values = {{"uid", {std::string(user.Login)}},
                            {"userPassword", {Crypt(user.Hash)}}};
        if (!read.Stamp.empty()) entry.Values[KStamp] = {read.Stamp};
        return entry;
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
