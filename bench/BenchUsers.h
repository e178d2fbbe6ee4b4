#pragma once
// The users of the database benchmarks: 100,000 of them with realistic fields (10-character
// logins and passwords, full names, e-mail addresses, some multi-line comments).

#include "base/Random.h"
#include "userdb/UserList.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace quorvane::bench {

inline constexpr int kUsers = 100000;

inline const char* const kFirst[] = {
    "Anna",   "Bernhard", "Chiara",    "Dmitri", "Elisabeth",  "Farid", "Gudrun", "Hiroshi",
    "Ingrid", "Jonas",    "Katarzyna", "Luis",   "Margarethe", "Nils",  "Olivia", "Pietro"};
inline const char* const kLast[] = {"Andersson", "Becker",     "Castellano", "Dubois",
                                    "Eriksen",   "Fitzgerald", "Gonzalez",   "Hoffmann",
                                    "Ivanova",   "Jankowski",  "Kowalczyk",  "Lindqvist",
                                    "Moreau",    "Nakamura",   "Oliveira",   "Petersen"};

inline std::string RandomText(TLcgRandom& r, size_t n, const char* alphabet) {
    const auto size = static_cast<uint32_t>(std::strlen(alphabet));
    std::string s;
    s.reserve(n);
    for (size_t i = 0; i < n; ++i)
        s.push_back(alphabet[r.Random(size)]);
    return s;
}

// By default a third of the users have expired and a seventh are disabled, so that an export
// writes 57% of them. With leftOutEvery = k > 0 none has expired and every k-th is disabled
// instead: an export writes all but one in k (10: 90%).
inline void Fill(TUserList& list, int users = kUsers, int leftOutEvery = 0) {
    TLcgRandom r(12345);
    list.PassType = TPasswordsType::ptMD5;
    TTargetSettings target = FirstTarget(list);
    target.PassFile = "/var/www/site/.htpasswd";
    SetFirstTarget(list, target);
    for (int i = 0; i < users; ++i) {
        TUserProp& u = list.AddBlank();
        u.Login = RandomText(r, 10, "abcdefghijklmnopqrstuvwxyz0123456789");
        u.Password = RandomText(r, 10, "abcdefghijkmnpqrstuvwxyzABCDEFGHJKLMNPQRSTUVWXYZ23456789");
        const char* first = kFirst[r.Random(16)];
        const char* last = kLast[r.Random(16)];
        u.FullName = std::string(first) + " " + last;
        u.Email = std::string(first) + "." + last + std::to_string(i % 100) + "@example.org";
        u.CreatedDate = 44000 + i / 50 + r.Random(86400) / 86400.0;
        u.ExpireDate = u.CreatedDate + 30;
        u.Expire = leftOutEvery == 0 && i % 3 == 0;
        u.Disable = leftOutEvery == 0 ? i % 7 == 0 : i % leftOutEvery == 0;
        if (i % 10 == 0)
            u.Comments = "Member of the spring workshop, invoice " + std::to_string(100000 + i) +
                         ".\r\nRemove the account after the last workshop day.";
    }
}

// The 100,000 users, made once.
inline TUserList& BigList() {
    static TUserList* list = [] {
        auto* l = new TUserList();
        Fill(*l);
        return l;
    }();
    return *list;
}

// A file in the temporary folder, named for this process.
inline std::string TempPath(const char* name) {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir != nullptr && *dir != 0 ? dir : "/tmp") + "/" + name + "-" +
           std::to_string(::getpid()) + ".udx";
}

} // namespace quorvane::bench
