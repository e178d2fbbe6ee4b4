// The in-memory users database: defaults, the Items operations, Add, Reset, the expiry sweep,
// the fingerprint and the change stamp.

#include "Fields.h"
#include "TestUtil.h"
#include "base/DateUtil.h"
#include "base/Errors.h"
#include "userdb/DataLib.h"
#include "userdb/TargetValue.h"
#include "userdb/UserList.h"

#include <gtest/gtest.h>

#include <functional>
#include <regex>
#include <set>

using namespace quorvane;

namespace {

constexpr double kSecond = 1.0 / 86400.0;

TEST(UserList, NewListHasTheDefaults) {
    TUserList list;
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.PassType, TPasswordsType::ptMD5);
    EXPECT_TRUE(First(list)->ExportToFile);
    EXPECT_TRUE(First(list)->FtpStorePass);
    EXPECT_TRUE(First(list)->FtpPassiveMode);
    EXPECT_EQ(First(list)->PassFile, "");
    EXPECT_EQ(First(list)->FtpHost, "");
    EXPECT_EQ(First(list)->FtpUser, "");
    EXPECT_EQ(First(list)->FtpPass, "");
    EXPECT_EQ(First(list)->FtpPasswdFile, "");
    EXPECT_EQ(WriteObjectStream(list).size(), 85u);
    EXPECT_EQ(list.Fingerprint(), 0xA160D7C5u);
}

TEST(UserList, UsersOutsideTheListRaiseTheIndexError) {
    TUserList list;
    list.Add("a", "b");
    try {
        list.Users(1);
        FAIL() << "no error raised";
    } catch (const EQuorvaneError& e) {
        EXPECT_EQ(Signature(e.Message()), "ListIndexOutOfBounds(1)");
    }
    try {
        static_cast<const TUserList&>(list).Users(-1);
        FAIL() << "no error raised";
    } catch (const EQuorvaneError& e) {
        EXPECT_EQ(Signature(e.Message()), "ListIndexOutOfBounds(-1)");
    }
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Users(0).Login, "a");
}

TEST(UserList, AddKeepsLoginAndPasswordAsGivenAndDatesTheUser) {
    const double now = 46000.5;
    TFixedClock clock(now);
    TUserList list;
    TUserProp& first = list.Add(" guest ", "");
    TUserProp& second = list.Add(" guest ", "pw");
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(&list.Users(0), &first);
    EXPECT_EQ(&list.Users(1), &second);
    EXPECT_EQ(first.Login, " guest ");
    EXPECT_EQ(first.Password, "");
    EXPECT_EQ(second.Login, " guest ");
    EXPECT_EQ(second.Password, "pw");
    EXPECT_DOUBLE_EQ(first.ExpireDate, now + 30);
    EXPECT_DOUBLE_EQ(first.CreatedDate, now);
    EXPECT_FALSE(first.Expire);
    EXPECT_FALSE(first.Disable);
    EXPECT_EQ(first.FullName, "");
    EXPECT_EQ(first.Email, "");
    EXPECT_EQ(first.Comments, "");
    EXPECT_EQ(first.Index(), 0);
    EXPECT_EQ(second.Index(), 1);
    EXPECT_EQ(second.List(), &list);
}

TEST(UserList, ResetEmptiesTheListAndRestoresTheExportDefaults) {
    TUserList list;
    list.Add("a", "b");
    list.PassType = TPasswordsType::ptPlainText;
    {
        TFirstTargetEdit first = First(list);
        first->PassFile = "x";
        first->ExportToFile = first->FtpStorePass = first->FtpPassiveMode = false;
        first->FtpHost = first->FtpUser = first->FtpPass = first->FtpPasswdFile = "y";
    }
    list.Reset();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.Fingerprint(), 0xA160D7C5u);
}

TEST(UserList, SweepDisablesOnlyUsersStrictlyPastTheirExpiry) {
    const double expiry = 46393.4375;
    TFixedClock clock(expiry - 40);
    TUserList list;
    TUserProp& added = list.Add("added", "x"); // expiry 30 days ahead, switched off
    TUserProp& boundary = list.Add("boundary", "x");
    boundary.Expire = true;
    boundary.ExpireDate = expiry;
    TUserProp& zero = list.Add("zero", "x");
    zero.Expire = true;
    zero.ExpireDate = 0;
    TUserProp& already = list.Add("already", "x");
    already.Expire = true;
    already.ExpireDate = 1;
    already.Disable = true;

    clock.Set(expiry);
    EXPECT_EQ(list.DisableExpired(), 1); // only the user with ExpireDate 0
    EXPECT_TRUE(zero.Disable);
    EXPECT_FALSE(boundary.Disable) << "equal to the present moment is not expired";
    EXPECT_FALSE(added.Disable);

    clock.Set(expiry + kSecond);
    EXPECT_EQ(list.DisableExpired(), 1);
    EXPECT_TRUE(boundary.Disable);
    EXPECT_TRUE(boundary.Expire) << "the sweep leaves Expire as it was";
    EXPECT_DOUBLE_EQ(boundary.ExpireDate, expiry);
    EXPECT_EQ(list.DisableExpired(), 0);

    clock.Set(expiry + 1000); // long after its date, but expiry is off
    EXPECT_EQ(list.DisableExpired(), 0);
    EXPECT_FALSE(added.Disable);
    added.Expire = true;
    EXPECT_EQ(list.DisableExpired(), 1);
    EXPECT_TRUE(added.Disable);

    TUserList empty;
    EXPECT_EQ(empty.DisableExpired(), 0);
}

TEST(UserList, RemovingMovesLaterUsersUp) {
    TUserList list;
    for (const char* login : {"u0", "u1", "u2", "u3", "u4"})
        list.Add(login, "p");
    list.Remove(&list.Users(2));
    ASSERT_EQ(list.Count(), 4);
    EXPECT_EQ(list.Users(2).Login, "u3");
    EXPECT_EQ(list.Users(3).Login, "u4");
    EXPECT_EQ(list.Users(2).Index(), 2);
    EXPECT_EQ(list.Users(3).Index(), 3);
    EXPECT_EQ(list.IndexOf(&list.Users(3)), 3);

    TUserList other;
    TUserProp& foreign = other.AddBlank();
    EXPECT_EQ(list.IndexOf(&foreign), -1);
    EXPECT_EQ(list.IndexOf(nullptr), -1);
    list.Remove(&foreign); // not ours: nothing happens
    EXPECT_EQ(list.Count(), 4);
    EXPECT_EQ(other.Count(), 1);

    list.RemoveMany({&list.Users(0), &list.Users(2), &foreign});
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Users(0).Login, "u1");
    EXPECT_EQ(list.Users(1).Login, "u4");
    EXPECT_EQ(list.Users(1).Index(), 1);

    list.Clear();
    EXPECT_EQ(list.Count(), 0);
}

// Places learnt at one count of place changes hold while it is the same: every change that gives
// a user another place, or takes one away, counts; appending one user and what changes nothing
// do not.
TEST(UserList, PlacesHoldWhileThePlaceChangesAreTheSame) {
    const struct {
        const char* Name;
        std::function<void(TUserList&, TUserList&)> Change; // the list, and another of two users
        bool Counts;
    } cases[] = {
        {"a user appended", [](TUserList& l, TUserList&) { l.AddBlank(); }, false},
        {"a stranger removed", [](TUserList& l, TUserList& o) { l.Remove(&o.Users(0)); }, false},
        {"the last removed", [](TUserList& l, TUserList&) { l.Remove(&l.Users(4)); }, true},
        {"one in the middle removed", [](TUserList& l, TUserList&) { l.Remove(&l.Users(1)); },
         true},
        {"several removed",
         [](TUserList& l, TUserList&) {
             l.RemoveMany({&l.Users(3), &l.Users(0)});
         },
         true},
        {"detached", [](TUserList& l, TUserList&) { l.Detach({2}); }, true},
        {"detached and put back",
         [](TUserList& l, TUserList&) {
             auto taken = l.Detach({1, 3});
             std::vector<std::pair<int, std::unique_ptr<TUserProp>>> back;
             back.emplace_back(1, std::move(taken[0]));
             back.emplace_back(3, std::move(taken[1]));
             l.Attach(std::move(back));
         },
         true},
        {"emptied", [](TUserList& l, TUserList&) { l.Clear(); }, true},
        {"another's users taken", [](TUserList& l, TUserList& o) { l.TakeUsers(o); }, true},
        {"another's users appended", [](TUserList& l, TUserList& o) { l.AppendUsers(o); }, true},
        {"given to another", [](TUserList& l, TUserList& o) { o.AppendUsers(l); }, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TUserList list, other;
        for (const char* login : {"u0", "u1", "u2", "u3", "u4"})
            list.Add(login, "p");
        other.Add("o0", "p");
        other.Add("o1", "p");
        std::vector<const TUserProp*> before;
        for (int i = 0; i < list.Count(); ++i)
            before.push_back(&list.Users(i));
        const uint64_t count = list.PlaceChanges();
        c.Change(list, other);
        EXPECT_EQ(list.PlaceChanges() != count, c.Counts);
        if (list.PlaceChanges() != count) continue;
        ASSERT_GE(list.Count(), static_cast<int>(before.size()));
        for (size_t i = 0; i < before.size(); ++i)
            EXPECT_EQ(&list.Users(static_cast<int>(i)), before[i]) << i;
    }
}

TEST(UserList, BlankUserHasEveryFieldEmpty) {
    TUserList list;
    TUserProp& user = list.AddBlank();
    EXPECT_EQ(UserFields(user), UserFields("", "", false, false, 0, 0, "", "", ""));
    EXPECT_EQ(user.Index(), 0);
}

TEST(UserList, FingerprintFollowsTheContent) {
    TUserList list;
    const uint32_t empty = list.Fingerprint();
    const size_t emptySize = WriteObjectStream(list).size();
    TUserProp& user = list.AddBlank();
    // The item's two markers and its two Boolean entries.
    EXPECT_EQ(WriteObjectStream(list).size(), emptySize + 2 + (1 + 7 + 1) + (1 + 6 + 1));
    const uint32_t withBlank = list.Fingerprint();
    EXPECT_NE(withBlank, empty);

    user.Disable = false; // the value it already has
    list.PassType = TPasswordsType::ptMD5;
    EXPECT_EQ(list.Fingerprint(), withBlank);

    user.Login = "guest";
    EXPECT_NE(list.Fingerprint(), withBlank);
    user.Login.clear();
    EXPECT_EQ(list.Fingerprint(), withBlank);
    user.ExpireDate = 46000;
    EXPECT_NE(list.Fingerprint(), withBlank);
}

TEST(UserList, ChangeStampSeesEditsThatCancelInTheFingerprint) {
    TUserList list;
    TUserProp& user = list.Add("guest", "abcd1234");
    const uint32_t fingerprint = list.Fingerprint();
    const uint64_t stamp = list.ChangeStamp();
    EXPECT_EQ(list.ChangeStamp(), stamp) << "the stamp depends on the content only";
    user.Password = "bbcd0234";
    EXPECT_EQ(list.Fingerprint(), fingerprint) << "the sum cannot see this edit";
    EXPECT_NE(list.ChangeStamp(), stamp);
    user.Password = "abcd1234";
    EXPECT_EQ(list.ChangeStamp(), stamp);
}

TEST(UserList, LoginsAreComparedWithLettersFolded) {
    EXPECT_TRUE(SameLoginFolded("Guest01", "gUEST01"));
    EXPECT_FALSE(SameLoginFolded("guest", "guest "));
    EXPECT_FALSE(SameLoginFolded("\xE9t\xE9", "\xC9T\xC9")); // only a to z fold
    TUserList list;
    list.Add("Anna", "x");
    list.Add("bob", "y");
    EXPECT_FALSE(list.IsLoginUnique("ANNA"));
    EXPECT_TRUE(list.IsLoginUnique("ANNA", 0)); // the user being edited itself
    EXPECT_TRUE(list.IsLoginUnique("carl"));
}

} // namespace

TEST(UserList, AStoreTargetGetsAnOwnerOfItsOwnOnce) {
    // Each row: the target's store and owner before, the store set; the owner after
    // ("new": a fresh "quorvane-" and 16 hex digits).
    struct TCase {
        std::string Url, Owner, NewUrl, Expected;
    } cases[] = {
        {"", "", "sqlite:/a.db", "new"},
        {"", "", "", ""},
        {"sqlite:/a.db", "quorvane-site", "sqlite:/b.db", "quorvane-site"},
        {"sqlite:/a.db", "quorvane-site", "sqlite:/a.db", "quorvane-site"},
        {"sqlite:/a.db", "", "sqlite:/a.db", ""}, // rows written with no owner keep theirs
        {"sqlite:/a.db", "", "ldap://h/dc=x", "new"},
        {"sqlite:/a.db", "quorvane-site", "", ""},
    };
    TLcgRandom random(7);
    std::set<std::string> minted;
    for (const TCase& c : cases) {
        TTargetSettings target;
        target.StoreUrl = c.Url;
        target.StoreOwner = c.Owner;
        SetStoreUrl(target, c.NewUrl, random);
        EXPECT_EQ(target.StoreUrl, c.NewUrl);
        if (c.Expected != "new") {
            EXPECT_EQ(target.StoreOwner, c.Expected) << c.Url << " -> " << c.NewUrl;
            continue;
        }
        EXPECT_TRUE(std::regex_match(target.StoreOwner, std::regex("quorvane-[0-9a-f]{16}")))
            << target.StoreOwner;
        EXPECT_TRUE(minted.insert(target.StoreOwner).second) << "each owner its own";
    }
}

// A target as stored and as a value are one: every setting survives the way there and back, the
// chosen address is the value's own, and what the target keeps while another address is chosen
// stays with it.
TEST(TargetValue, StoredSettingsAndTheValueMapWithoutLoss) {
    using TSet = std::function<void(TTargetSettings&)>;
    // A target that sends to a server: its protocol, host and file, then what else it sets.
    const auto server = [](
                            const char* protocol, const std::string& host, const std::string& file,
                            const TSet& more = [](auto&) {}) -> TSet {
        return [=](TTargetSettings& s) {
            s.ExportToFile = false;
            s.FtpProtocol = protocol;
            s.FtpHost = host;
            s.FtpPasswdFile = file;
            more(s);
        };
    };
    const std::string odd = std::string("a b%2F?#@/\x01\xc3\xa9:") + '\0' + "end";
    const struct {
        const char* What;
        TSet Stored;     // applied to a new target's settings
        std::string Url; // of the value; "-": not compared
    } cases[] = {
        {"a new database's", [](auto&) {}, ""},
        {"a local file", [](auto& s) { s.PassFile = "/srv/www/.htpasswd"; }, "/srv/www/.htpasswd"},
        {"a path that reads like an address", [](auto& s) { s.PassFile = "C:\\site\\htpasswd"; },
         "file:C:\\site\\htpasswd"},
        {"a path named like a store", [](auto& s) { s.PassFile = "sqlite:x"; }, "file:sqlite:x"},
        {"options of its own, with the bytes their form escapes",
         [](auto& s) {
             s.PassFile = "/etc/haproxy/users.cfg";
             s.Options = "after=a%3Db%26c%25%0A&consumer=haproxy";
         },
         "/etc/haproxy/users.cfg"},
        {"FTP into the login folder",
         server("", "ftp.example.org:2121", "www/.htpasswd",
                [](auto& s) {
                    s.FtpUser = "web";
                    s.FtpPass = "se'cr\"et";
                    s.FtpStorePass = s.FtpPassiveMode = false;
                }),
         "ftp://ftp.example.org:2121/www/.htpasswd"},
        {"FTP to an absolute path", server("", "h", "/www/.htpasswd"), "ftp://h//www/.htpasswd"},
        {"SFTP both ways",
         server("sftp", "[::1]:22", "/www/.htpasswd",
                [](auto& s) {
                    s.FtpKeyFile = "/home/me/.ssh/id";
                    s.FtpHostKeys = "SHA256:abc SHA256:def";
                    s.PassFile = "/backup/.htpasswd";
                }),
         "sftp://[::1]:22/www/.htpasswd"},
        {"SFTP in the login folder", server("sftp", "h", "~/x"), "sftp://h/~/~/x"},
        {"FTP over TLS with its pins",
         server("ftpes", "h", "x",
                [](auto& s) {
                    s.FtpTlsPin = "sha256//abc=";
                    s.FtpCaFile = "/etc/ca.pem";
                }),
         "ftpes://h/x"},
        {"a server not filled in yet", server("", "", ""), "ftp:///"},
        {"odd bytes in host and file", server("ftps", odd, odd), "-"},
        {"a store",
         server("", "kept.example.org", "",
                [](auto& s) {
                    s.StoreUrl = "postgresql://db/site";
                    s.StoreOwner = "quorvane-0123456789abcdef";
                    s.FtpUser = "writer";
                }),
         "postgresql://db/site"},
        {"an address that names no store",
         server("", "", "", [](auto& s) { s.StoreUrl = "mysql://db/site"; }),
         "store:mysql://db/site"},
        {"a file, with a server and a store kept",
         [&](auto& s) {
             s.PassFile = "site.htpasswd";
             s.FtpHost = odd;
             s.FtpProtocol = "sftp";
             s.StoreUrl = "sqlite:/var/lib/site.db";
             s.CheckUrl = "https://example.org/private/";
             s.CheckUser = "probe";
         },
         "site.htpasswd"},
        {"named and disabled",
         [](auto& s) {
             s.Name = "web 2";
             s.Enabled = false;
         },
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        TTargetSettings stored;
        c.Stored(stored);
        const TTarget value = TargetOf(stored);
        if (c.Url != "-") {
            EXPECT_EQ(value.Url, c.Url);
        }
        EXPECT_EQ(TargetFields(SettingsOf(value)), TargetFields(stored));
        EXPECT_EQ(TargetOf(SettingsOf(value)), value);
    }
    // What an address given by hand names.
    const struct {
        std::string Url, Host, RemoteFile, Login;
    } addresses[] = {
        {"ftp://web@h:21/www/x", "h:21", "www/x", "web"},
        {"ftp://h/%2Fwww/x", "h", "/www/x", ""},
        {"sftp://h/srv/x", "h", "/srv/x", ""},
        {"sftp://me%40home@h/~/x%20y", "h", "x y", "me@home"},
    };
    for (const auto& a : addresses) {
        const TServerAddress parsed = ServerAddressOf(a.Url);
        EXPECT_EQ(std::tie(parsed.Host, parsed.RemoteFile, parsed.Login),
                  std::tie(a.Host, a.RemoteFile, a.Login))
            << a.Url;
    }
}
