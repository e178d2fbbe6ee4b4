#pragma once
// The "$apr1$" 1000-round loop for a group of users in lockstep, one user per lane. This header
// is included once by each instruction-set unit (Md5MultiScalar.cpp, Md5MultiAvx2.cpp, ...),
// each compiled with its own target options. Everything here has internal linkage and uses no
// inline library templates, so no code compiled for a wider instruction set can be picked by
// the linker for a caller that runs on a processor without it.
//
// V is the lane vector (a GCC/clang vector of 32-bit words, or plain uint32_t for one lane), G
// the number of independent register sets interleaved to hide the latency of the 64-step chain.
// A group holds N = G * (lanes of V) users.
//
// Each round's message is laid out once per group for each of the eight message layouts (the
// layout says where the previous digest goes and whether the salt and the second copy of the
// password are present). Only the 16 digest bytes change between two rounds of one layout, so
// each round writes the digest into its layout's message and runs the compression over it.
// Messages are stored word-major: word w of lane l at w * N + l.

#include "export/Md5MultiLanes.h"
#include "export/RoundLayout.h"
#include "export/md5.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string.h>

namespace quorvane {

namespace {

constexpr uint32_t KInit[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};

template <class V> inline __attribute__((always_inline)) V Load(const uint32_t* p) {
    V v;
    __builtin_memcpy(&v, p, sizeof(V));
    return v;
}

template <class V> inline __attribute__((always_inline)) void Store(uint32_t* p, const V& v) {
    __builtin_memcpy(p, &v, sizeof(V));
}

template <class V> inline __attribute__((always_inline)) V Splat(uint32_t x) {
    V v = {};
    v += x;
    return v;
}

template <class V, class Traits, int G> struct TLaneGroup {
    static constexpr int W = static_cast<int>(sizeof(V) / 4); // lanes of one vector
    static constexpr int N = W * G;                           // users in the group

    // One step: a <- b + rotl(a + fn(b, c, d) + x + k, s). The message word and constant are
    // added to a first (a is known four steps ahead), the barrier keeps the compiler from
    // folding them into the additions that wait for b.
    template <int Fn, int S>
    static inline __attribute__((always_inline)) void
    Step(V (&a)[G], const V (&b)[G], const V (&c)[G], const V (&d)[G], const uint32_t* x,
         const V* ks, int word, int step) {
        const V k = ks[step];
        for (int g = 0; g < G; ++g) {
            V t = a[g] + (Load<V>(x + word * N + g * W) + k);
            // Without a three-input logic instruction, G = (b & d) | (c & ~d) goes in as two
            // disjoint parts, the one that does not wait for b first.
            if constexpr (Fn == 1 && Traits::KSplitG) t += c[g] & ~d[g];
            Traits::Barrier(t);
            if constexpr (Fn == 0)
                t += d[g] ^ (b[g] & (c[g] ^ d[g]));
            else if constexpr (Fn == 1 && Traits::KSplitG)
                t += b[g] & d[g];
            else if constexpr (Fn == 1)
                t += c[g] ^ (d[g] & (b[g] ^ c[g]));
            else if constexpr (Fn == 2)
                t += b[g] ^ (c[g] ^ d[g]);
            else
                t -=
                    c[g] ^ (~b[g] & d[g]); // I = c ^ (b | ~d) = -(c ^ (~b & d)) - 1; the -1 is in k
            a[g] = ((t << S) | (t >> (32 - S))) + b[g];
        }
    }

    // One compression of the block at x (16 words, word-major) into state s.
    // ks holds the 64 step constants (less one in the last round, see Step), one per lane, read
    // from memory: built as immediates they would cost extra instructions in every step. Kept out
    // of line: one copy serves every block.
    static __attribute__((noinline)) void Compress(V (&s)[4][G], const uint32_t* x, const V* ks) {
        V a[G], b[G], c[G], d[G];
        for (int g = 0; g < G; ++g) {
            a[g] = s[0][g];
            b[g] = s[1][g];
            c[g] = s[2][g];
            d[g] = s[3][g];
        }
#define QV_R4(fn, w0, w1, w2, w3, i, s0, s1, s2, s3)                                               \
    Step<fn, s0>(a, b, c, d, x, ks, w0, i);                                                        \
    Step<fn, s1>(d, a, b, c, x, ks, w1, (i) + 1);                                                  \
    Step<fn, s2>(c, d, a, b, x, ks, w2, (i) + 2);                                                  \
    Step<fn, s3>(b, c, d, a, x, ks, w3, (i) + 3)
        QV_R4(0, 0, 1, 2, 3, 0, 7, 12, 17, 22);
        QV_R4(0, 4, 5, 6, 7, 4, 7, 12, 17, 22);
        QV_R4(0, 8, 9, 10, 11, 8, 7, 12, 17, 22);
        QV_R4(0, 12, 13, 14, 15, 12, 7, 12, 17, 22);
        QV_R4(1, 1, 6, 11, 0, 16, 5, 9, 14, 20);
        QV_R4(1, 5, 10, 15, 4, 20, 5, 9, 14, 20);
        QV_R4(1, 9, 14, 3, 8, 24, 5, 9, 14, 20);
        QV_R4(1, 13, 2, 7, 12, 28, 5, 9, 14, 20);
        QV_R4(2, 5, 8, 11, 14, 32, 4, 11, 16, 23);
        QV_R4(2, 1, 4, 7, 10, 36, 4, 11, 16, 23);
        QV_R4(2, 13, 0, 3, 6, 40, 4, 11, 16, 23);
        QV_R4(2, 9, 12, 15, 2, 44, 4, 11, 16, 23);
        QV_R4(3, 0, 7, 14, 5, 48, 6, 10, 15, 21);
        QV_R4(3, 12, 3, 10, 1, 52, 6, 10, 15, 21);
        QV_R4(3, 8, 15, 6, 13, 56, 6, 10, 15, 21);
        QV_R4(3, 4, 11, 2, 9, 60, 6, 10, 15, 21);
#undef QV_R4
        for (int g = 0; g < G; ++g) {
            s[0][g] += a[g];
            s[1][g] += b[g];
            s[2][g] += c[g];
            s[3][g] += d[g];
        }
    }

    // Where one message layout lives in the work area and how it is shaped.
    struct TPattern {
        uint32_t* Words;    // blocks * 16 * N message words
        uint32_t* Masks;    // blocks * N: all ones where the lane's message has that block
        int Blocks;         // the longest lane's block count
        bool DigestFirst;   // even rounds: the digest is the message's first 16 bytes
        uint32_t Offset[N]; // odd rounds: byte offset of the digest, per lane
    };

    static void Append(uint8_t* message, uint32_t& pos, const uint8_t* bytes, uint32_t n) {
        if (n != 0) __builtin_memcpy(message + pos, bytes, n);
        pos += n;
    }

    // Writes the 16 digest bytes (d[0..3] little-endian words) at byte offset o of one lane.
    static inline void PutDigestLane(uint32_t* words, uint32_t o, int lane,
                                     const uint32_t (&dw)[4]) {
        uint32_t* w = words + (o >> 2) * N + lane;
        const uint32_t r = o & 3;
        if (r == 0) {
            for (int k = 0; k < 4; ++k)
                w[k * N] = dw[k];
            return;
        }
        const uint32_t sh = 8 * r;
        const uint32_t low = (1u << sh) - 1;
        w[0] = (w[0] & low) | (dw[0] << sh);
        for (int k = 1; k < 4; ++k)
            w[k * N] = (dw[k - 1] >> (32 - sh)) | (dw[k] << sh);
        w[4 * N] = (w[4 * N] & ~low) | (dw[3] >> (32 - sh));
    }

    // Runs rounds 0 to 999 for one full group. job lanes [first, first + N) are used; the
    // digests are read from and written back to job.Digest.
    // scratch holds one lane's longest message.
    static void RunGroup(const TApr1LaneJob& job, size_t first, uint32_t* area, TPattern* patterns,
                         uint8_t* scratch) {
        const uint8_t* pw[N];
        uint32_t pwLen[N];
        const uint8_t* salt[N];
        uint32_t saltLen[N];
        bool uniform = true;
        for (int l = 0; l < N; ++l) {
            const size_t u = first + static_cast<size_t>(l);
            pw[l] = job.Password[u];
            pwLen[l] = job.PasswordLength[u];
            salt[l] = job.Salt[u];
            saltLen[l] = job.SaltLength[u];
            if (pwLen[l] != pwLen[0] || saltLen[l] != saltLen[0]) uniform = false;
        }

        // Lay out the eight messages.
        uint32_t* next = area;
        for (int layout = 0; layout < KLayouts; ++layout) {
            TPattern& pat = patterns[layout];
            const bool odd = (layout & 1) != 0;
            const bool withSalt = (layout & 2) != 0;
            const bool withPassword = (layout & 4) != 0;
            int blocks = 1;
            uint32_t len[N];
            for (int l = 0; l < N; ++l) {
                len[l] =
                    16 + pwLen[l] + (withSalt ? saltLen[l] : 0) + (withPassword ? pwLen[l] : 0);
                const int nb = static_cast<int>((len[l] + 8) / 64 + 1);
                if (nb > blocks) blocks = nb;
            }
            pat.Words = next;
            next += static_cast<size_t>(blocks) * 16 * N;
            pat.Masks = next;
            next += static_cast<size_t>(blocks) * N;
            pat.Blocks = blocks;
            pat.DigestFirst = !odd;
            // Each lane's message is laid out in bytes, padded, then spread into its lane.
            const size_t bytes = static_cast<size_t>(blocks) * 64;
            for (int l = 0; l < N; ++l) {
                uint8_t* m = scratch;
                __builtin_memset(m, 0, bytes);
                uint32_t pos = 0;
                if (odd)
                    Append(m, pos, pw[l], pwLen[l]);
                else
                    pos += 16;
                if (withSalt) Append(m, pos, salt[l], saltLen[l]);
                if (withPassword) Append(m, pos, pw[l], pwLen[l]);
                if (odd) {
                    pat.Offset[l] = pos;
                    pos += 16;
                } else {
                    pat.Offset[l] = 0;
                    Append(m, pos, pw[l], pwLen[l]);
                }
                m[pos] = 0x80;
                const uint32_t nb = (len[l] + 8) / 64 + 1;
                uint64_t bits = static_cast<uint64_t>(len[l]) * 8;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
                bits = __builtin_bswap64(bits);
#endif
                __builtin_memcpy(m + nb * 64 - 8, &bits, 8);
                for (uint32_t b = 0; b < static_cast<uint32_t>(blocks); ++b)
                    pat.Masks[b * N + l] = b < nb ? ~0u : 0u;
                for (size_t w = 0; w < bytes / 4; ++w) {
                    uint32_t word;
                    __builtin_memcpy(&word, m + 4 * w, 4);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
                    word = __builtin_bswap32(word);
#endif
                    pat.Words[w * N + l] = word;
                }
            }
        }

        V ks[64];
        for (int i = 0; i < 64; ++i)
            ks[i] = Splat<V>(KMD5Step[i] - (i >= 48 ? 1 : 0));
        const V* kp = ks;
        __asm__("" : "+r"(kp) : : "memory");

        V f[4][G];
        for (int k = 0; k < 4; ++k) {
            uint32_t lanes[N];
            for (int l = 0; l < N; ++l) {
                const uint8_t* d = job.Digest[first + static_cast<size_t>(l)] + 4 * k;
                lanes[l] =
                    d[0] | (uint32_t{d[1]} << 8) | (uint32_t{d[2]} << 16) | (uint32_t{d[3]} << 24);
            }
            for (int g = 0; g < G; ++g)
                f[k][g] = Load<V>(lanes + g * W);
        }

        int layouts[KLayoutCycle];
        for (int i = 0; i < KLayoutCycle; ++i)
            layouts[i] = LayoutOfRound(i);
        int p = 0;
        for (int i = 0; i < 1000; ++i) {
            TPattern& pat = patterns[layouts[p]];
            if (pat.DigestFirst) {
                for (int k = 0; k < 4; ++k)
                    for (int g = 0; g < G; ++g)
                        Store<V>(pat.Words + k * N + g * W, f[k][g]);
            } else if (uniform) {
                const uint32_t o = pat.Offset[0];
                uint32_t* w = pat.Words + (o >> 2) * N;
                const uint32_t r = o & 3;
                if (r == 0) {
                    for (int k = 0; k < 4; ++k)
                        for (int g = 0; g < G; ++g)
                            Store<V>(w + k * N + g * W, f[k][g]);
                } else {
                    const uint32_t sh = 8 * r;
                    const V low = Splat<V>((1u << sh) - 1);
                    for (int g = 0; g < G; ++g) {
                        uint32_t* wg = w + g * W;
                        Store<V>(wg, (Load<V>(wg) & low) | (f[0][g] << sh));
                        for (int k = 1; k < 4; ++k)
                            Store<V>(wg + k * N, (f[k - 1][g] >> (32 - sh)) | (f[k][g] << sh));
                        Store<V>(wg + 4 * N, (Load<V>(wg + 4 * N) & ~low) | (f[3][g] >> (32 - sh)));
                    }
                }
            } else {
                uint32_t dw[4][N];
                for (int k = 0; k < 4; ++k)
                    for (int g = 0; g < G; ++g)
                        Store<V>(dw[k] + g * W, f[k][g]);
                for (int l = 0; l < N; ++l) {
                    const uint32_t lane[4] = {dw[0][l], dw[1][l], dw[2][l], dw[3][l]};
                    PutDigestLane(pat.Words, pat.Offset[l], l, lane);
                }
            }

            V s[4][G];
            for (int k = 0; k < 4; ++k)
                for (int g = 0; g < G; ++g)
                    s[k][g] = Splat<V>(KInit[k]);
            Compress(s, pat.Words, kp);
            for (int b = 1; b < pat.Blocks; ++b) {
                // Lanes whose message has ended keep the digest of their last block.
                V n[4][G];
                for (int k = 0; k < 4; ++k)
                    for (int g = 0; g < G; ++g)
                        n[k][g] = s[k][g];
                Compress(n, pat.Words + static_cast<size_t>(b) * 16 * N, kp);
                for (int g = 0; g < G; ++g) {
                    const V m = Load<V>(pat.Masks + b * N + g * W);
                    for (int k = 0; k < 4; ++k)
                        s[k][g] = (n[k][g] & m) | (s[k][g] & ~m);
                }
            }
            for (int k = 0; k < 4; ++k)
                for (int g = 0; g < G; ++g)
                    f[k][g] = s[k][g];
            if (++p == KLayoutCycle) p = 0;
        }

        for (int k = 0; k < 4; ++k) {
            uint32_t lanes[N];
            for (int g = 0; g < G; ++g)
                Store<V>(lanes + g * W, f[k][g]);
            for (int l = 0; l < N; ++l) {
                uint8_t* d = job.Digest[first + static_cast<size_t>(l)] + 4 * k;
                for (int j = 0; j < 4; ++j)
                    d[j] = static_cast<uint8_t>(lanes[l] >> (8 * j));
            }
        }
    }

    // Words the work area needs for the eight messages of a group whose longest password and salt
    // have the given lengths.
    static size_t AreaWords(uint32_t maxPassword, uint32_t maxSalt) {
        size_t words = 0;
        for (int layout = 0; layout < KLayouts; ++layout) {
            const uint32_t len = 16 + maxPassword + ((layout & 2) != 0 ? maxSalt : 0) +
                                 ((layout & 4) != 0 ? maxPassword : 0);
            words += static_cast<size_t>((len + 8) / 64 + 1) * 17 * N;
        }
        return words;
    }

    // Runs the job in groups of N lanes. A short last group is filled up with copies of its
    // first user, whose results are thrown away.
    static bool Run(const TApr1LaneJob& job) {
        if (job.Count == 0) return true;
        uint32_t maxPassword = 0, maxSalt = 0;
        for (size_t u = 0; u < job.Count; ++u) {
            if (job.PasswordLength[u] > maxPassword) maxPassword = job.PasswordLength[u];
            if (job.SaltLength[u] > maxSalt) maxSalt = job.SaltLength[u];
        }
        const size_t areaWords = AreaWords(maxPassword, maxSalt);
        const size_t scratchBytes =
            static_cast<size_t>((2 * maxPassword + maxSalt + 16 + 8) / 64 + 1) * 64;
        const size_t bytes = (areaWords * 4 + scratchBytes + 63) / 64 * 64;
        uint32_t* area = static_cast<uint32_t*>(std::aligned_alloc(64, bytes));
        uint8_t* scratch = reinterpret_cast<uint8_t*>(area + areaWords);
        TPattern* patterns = static_cast<TPattern*>(std::malloc(sizeof(TPattern) * KLayouts));
        if (area == nullptr || patterns == nullptr) {
            std::free(area);
            std::free(patterns);
            return false;
        }
        size_t first = 0;
        for (; first + N <= job.Count; first += N)
            RunGroup(job, first, area, patterns, scratch);
        if (first < job.Count) {
            const size_t rest = job.Count - first;
            const uint8_t* pw[N];
            uint32_t pwLen[N];
            const uint8_t* salt[N];
            uint32_t saltLen[N];
            uint8_t* digest[N];
            uint8_t spare[N][16];
            for (size_t l = 0; l < N; ++l) {
                const size_t u = first + (l < rest ? l : 0);
                pw[l] = job.Password[u];
                pwLen[l] = job.PasswordLength[u];
                salt[l] = job.Salt[u];
                saltLen[l] = job.SaltLength[u];
                if (l < rest) {
                    digest[l] = job.Digest[u];
                } else {
                    __builtin_memcpy(spare[l], job.Digest[u], 16);
                    digest[l] = spare[l];
                }
            }
            const TApr1LaneJob tail{N, pw, pwLen, salt, saltLen, digest};
            RunGroup(tail, 0, area, patterns, scratch);
        }
        // The work area held password bytes.
        explicit_bzero(area, bytes);
        std::free(area);
        std::free(patterns);
        return true;
    }
};

} // namespace

} // namespace quorvane
