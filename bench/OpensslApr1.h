#pragma once
// The "$apr1$" computation over OpenSSL's MD5: the baseline the benchmarks measure the
// program's own hashing against, in the same run. Only the benchmarks link OpenSSL.

#define OPENSSL_SUPPRESS_DEPRECATED // the low-level MD5 calls are the fastest OpenSSL offers
#include <openssl/md5.h>

#include "export/htpasswd.h"

#include <cstdint>
#include <cstring>
#include <string>

using namespace quorvane;

namespace benchbase {

// The "$apr1$" computation over OpenSSL's MD5, step for step as the program does it.
inline std::string OpensslApr1(const std::string& password, const std::string& salt) {
    const auto* pw = reinterpret_cast<const unsigned char*>(password.data());
    const size_t len = password.size();
    unsigned char f[16];
    MD5_CTX main, alt;
    MD5_Init(&main);
    MD5_Update(&main, pw, len);
    MD5_Update(&main, "$apr1$", 6);
    MD5_Update(&main, salt.data(), salt.size());
    MD5_Init(&alt);
    MD5_Update(&alt, pw, len);
    MD5_Update(&alt, salt.data(), salt.size());
    MD5_Update(&alt, pw, len);
    MD5_Final(f, &alt);
    for (size_t p = len; p > 0; p -= p > 16 ? 16 : p)
        MD5_Update(&main, f, p > 16 ? 16 : p);
    std::memset(f, 0, sizeof f);
    for (size_t i = len; i != 0; i >>= 1)
        MD5_Update(&main, (i & 1) ? f : pw, 1);
    MD5_Final(f, &main);
    for (int i = 0; i < 1000; ++i) {
        MD5_Init(&alt);
        if (i & 1)
            MD5_Update(&alt, pw, len);
        else
            MD5_Update(&alt, f, 16);
        if (i % 3) MD5_Update(&alt, salt.data(), salt.size());
        if (i % 7) MD5_Update(&alt, pw, len);
        if (i & 1)
            MD5_Update(&alt, f, 16);
        else
            MD5_Update(&alt, pw, len);
        MD5_Final(f, &alt);
    }
    auto group = [&](int x, int y, int z) {
        return static_cast<uint32_t>(f[x]) << 16 | static_cast<uint32_t>(f[y]) << 8 | f[z];
    };
    return "$apr1$" + salt + "$" + To64(group(0, 6, 12), 4) + To64(group(1, 7, 13), 4) +
           To64(group(2, 8, 14), 4) + To64(group(3, 9, 15), 4) + To64(group(4, 10, 5), 4) +
           To64(f[11], 2);
}

} // namespace benchbase
