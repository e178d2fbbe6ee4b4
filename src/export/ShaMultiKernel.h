#pragma once
// The SHA-crypt rounds ("$5$" and "$6$") for a group of users in lockstep, one user per lane.
// This header is included once by each instruction-set unit (ShaMultiScalar.cpp,
// ShaMultiAvx2.cpp, ...), each compiled with its own target options. Everything here has internal
// linkage and uses no inline library templates, so no code compiled for a wider instruction set
// can be picked by the linker for a caller that runs on a processor without it.
//
// T is the hash's word (32 bits for SHA-256, 64 for SHA-512), V the lane vector (a GCC/clang
// vector of T, or plain T for one lane). A group holds N = lanes of V users.
//
// A round's message is P or the previous digest, S on rounds not divisible by 3, P on rounds not
// divisible by 7, then the previous digest or P: eight layouts, as with "$apr1$". Each group lays
// the eight messages out once, padded and with their lengths, as big-endian words, word-major
// (word w of lane l at w * N + l); a round then only writes the previous digest into its layout's
// message and compresses it.

#include "export/RoundLayout.h"
#include "export/ShaMultiLanes.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string.h>

namespace quorvane {

namespace {

// The constants and rotation amounts of the two hashes (FIPS 180-4).
template <class T> struct TShaFamily;

template <> struct TShaFamily<uint32_t> {
    static constexpr int Steps = 64;
    static constexpr int S0[3] = {2, 13, 22}, S1[3] = {6, 11, 25};
    static constexpr int s0[3] = {7, 18, 3}, s1[3] = {17, 19, 10};
    static constexpr uint32_t K[64] = {
        0x428a2f98u, 0x71374491u, 0xb5c0fbcfu, 0xe9b5dba5u, 0x3956c25bu, 0x59f111f1u, 0x923f82a4u,
        0xab1c5ed5u, 0xd807aa98u, 0x12835b01u, 0x243185beu, 0x550c7dc3u, 0x72be5d74u, 0x80deb1feu,
        0x9bdc06a7u, 0xc19bf174u, 0xe49b69c1u, 0xefbe4786u, 0x0fc19dc6u, 0x240ca1ccu, 0x2de92c6fu,
        0x4a7484aau, 0x5cb0a9dcu, 0x76f988dau, 0x983e5152u, 0xa831c66du, 0xb00327c8u, 0xbf597fc7u,
        0xc6e00bf3u, 0xd5a79147u, 0x06ca6351u, 0x14292967u, 0x27b70a85u, 0x2e1b2138u, 0x4d2c6dfcu,
        0x53380d13u, 0x650a7354u, 0x766a0abbu, 0x81c2c92eu, 0x92722c85u, 0xa2bfe8a1u, 0xa81a664bu,
        0xc24b8b70u, 0xc76c51a3u, 0xd192e819u, 0xd6990624u, 0xf40e3585u, 0x106aa070u, 0x19a4c116u,
        0x1e376c08u, 0x2748774cu, 0x34b0bcb5u, 0x391c0cb3u, 0x4ed8aa4au, 0x5b9cca4fu, 0x682e6ff3u,
        0x748f82eeu, 0x78a5636fu, 0x84c87814u, 0x8cc70208u, 0x90befffau, 0xa4506cebu, 0xbef9a3f7u,
        0xc67178f2u,
    };
    static constexpr uint32_t Init[8] = {
        0x6a09e667u, 0xbb67ae85u, 0x3c6ef372u, 0xa54ff53au,
        0x510e527fu, 0x9b05688cu, 0x1f83d9abu, 0x5be0cd19u,
    };
};

template <> struct TShaFamily<uint64_t> {
    static constexpr int Steps = 80;
    static constexpr int S0[3] = {28, 34, 39}, S1[3] = {14, 18, 41};
    static constexpr int s0[3] = {1, 8, 7}, s1[3] = {19, 61, 6};
    static constexpr uint64_t K[80] = {
        0x428a2f98d728ae22ull, 0x7137449123ef65cdull, 0xb5c0fbcfec4d3b2full, 0xe9b5dba58189dbbcull,
        0x3956c25bf348b538ull, 0x59f111f1b605d019ull, 0x923f82a4af194f9bull, 0xab1c5ed5da6d8118ull,
        0xd807aa98a3030242ull, 0x12835b0145706fbeull, 0x243185be4ee4b28cull, 0x550c7dc3d5ffb4e2ull,
        0x72be5d74f27b896full, 0x80deb1fe3b1696b1ull, 0x9bdc06a725c71235ull, 0xc19bf174cf692694ull,
        0xe49b69c19ef14ad2ull, 0xefbe4786384f25e3ull, 0x0fc19dc68b8cd5b5ull, 0x240ca1cc77ac9c65ull,
        0x2de92c6f592b0275ull, 0x4a7484aa6ea6e483ull, 0x5cb0a9dcbd41fbd4ull, 0x76f988da831153b5ull,
        0x983e5152ee66dfabull, 0xa831c66d2db43210ull, 0xb00327c898fb213full, 0xbf597fc7beef0ee4ull,
        0xc6e00bf33da88fc2ull, 0xd5a79147930aa725ull, 0x06ca6351e003826full, 0x142929670a0e6e70ull,
        0x27b70a8546d22ffcull, 0x2e1b21385c26c926ull, 0x4d2c6dfc5ac42aedull, 0x53380d139d95b3dfull,
        0x650a73548baf63deull, 0x766a0abb3c77b2a8ull, 0x81c2c92e47edaee6ull, 0x92722c851482353bull,
        0xa2bfe8a14cf10364ull, 0xa81a664bbc423001ull, 0xc24b8b70d0f89791ull, 0xc76c51a30654be30ull,
        0xd192e819d6ef5218ull, 0xd69906245565a910ull, 0xf40e35855771202aull, 0x106aa07032bbd1b8ull,
        0x19a4c116b8d2d0c8ull, 0x1e376c085141ab53ull, 0x2748774cdf8eeb99ull, 0x34b0bcb5e19b48a8ull,
        0x391c0cb3c5c95a63ull, 0x4ed8aa4ae3418acbull, 0x5b9cca4f7763e373ull, 0x682e6ff3d6b2b8a3ull,
        0x748f82ee5defb2fcull, 0x78a5636f43172f60ull, 0x84c87814a1f0ab72ull, 0x8cc702081a6439ecull,
        0x90befffa23631e28ull, 0xa4506cebde82bde9ull, 0xbef9a3f7b2c67915ull, 0xc67178f2e372532bull,
        0xca273eceea26619cull, 0xd186b8c721c0c207ull, 0xeada7dd6cde0eb1eull, 0xf57d4f7fee6ed178ull,
        0x06f067aa72176fbaull, 0x0a637dc5a2c898a6ull, 0x113f9804bef90daeull, 0x1b710b35131c471bull,
        0x28db77f523047d84ull, 0x32caab7b40c72493ull, 0x3c9ebe0a15c9bebcull, 0x431d67c49c100d4cull,
        0x4cc5d4becb3e42b6ull, 0x597f299cfc657e2aull, 0x5fcb6fab3ad6faecull, 0x6c44198c4a475817ull,
    };
    static constexpr uint64_t Init[8] = {
        0x6a09e667f3bcc908ull, 0xbb67ae8584caa73bull, 0x3c6ef372fe94f82bull, 0xa54ff53a5f1d36f1ull,
        0x510e527fade682d1ull, 0x9b05688c2b3e6c1full, 0x1f83d9abfb41bd6bull, 0x5be0cd19137e2179ull,
    };
};

template <class V, class T> inline __attribute__((always_inline)) V ShaLoad(const T* p) {
    V v;
    __builtin_memcpy(&v, p, sizeof(V));
    return v;
}

template <class V, class T> inline __attribute__((always_inline)) void ShaStore(T* p, const V& v) {
    __builtin_memcpy(p, &v, sizeof(V));
}

template <class V, class T> inline __attribute__((always_inline)) V ShaSplat(T x) {
    V v = {};
    v += x;
    return v;
}

// A big-endian word from bytes, and back.
template <class T> inline T ShaWordFromBytes(const uint8_t* p) {
    T w = 0;
    for (size_t i = 0; i < sizeof(T); ++i)
        w = static_cast<T>((w << 8) | p[i]);
    return w;
}

template <class T> inline void ShaBytesFromWord(T w, uint8_t* p) {
    for (size_t i = sizeof(T); i-- > 0;) {
        p[i] = static_cast<uint8_t>(w);
        w = static_cast<T>(w >> 8);
    }
}

template <class T, class V> struct TShaGroup {
    using F = TShaFamily<T>;
    static constexpr uint32_t WordBytes = sizeof(T);
    static constexpr int N = static_cast<int>(sizeof(V) / WordBytes); // users in the group
    static constexpr int Bits = static_cast<int>(8 * WordBytes);
    static constexpr uint32_t BlockBytes = 16 * WordBytes;
    static constexpr uint32_t DigestBytes = 8 * WordBytes;
    static constexpr uint32_t LengthBytes = 2 * WordBytes; // the bit count at a message's end

    template <int R> static inline __attribute__((always_inline)) V Ror(const V& x) {
        return (x >> R) | (x << (Bits - R));
    }
    static inline __attribute__((always_inline)) V BigSigma0(const V& x) {
        return Ror<F::S0[0]>(x) ^ Ror<F::S0[1]>(x) ^ Ror<F::S0[2]>(x);
    }
    static inline __attribute__((always_inline)) V BigSigma1(const V& x) {
        return Ror<F::S1[0]>(x) ^ Ror<F::S1[1]>(x) ^ Ror<F::S1[2]>(x);
    }
    static inline __attribute__((always_inline)) V SmallSigma0(const V& x) {
        return Ror<F::s0[0]>(x) ^ Ror<F::s0[1]>(x) ^ (x >> F::s0[2]);
    }
    static inline __attribute__((always_inline)) V SmallSigma1(const V& x) {
        return Ror<F::s1[0]>(x) ^ Ror<F::s1[1]>(x) ^ (x >> F::s1[2]);
    }

    // One step. The word plus constant and h are added first: they do not wait for e.
    static inline __attribute__((always_inline)) void Step(const V& a, const V& b, const V& c, V& d,
                                                           const V& e, const V& f, const V& g, V& h,
                                                           const V& wk) {
        V t = h + wk;
        t += g ^ (e & (f ^ g));
        t += BigSigma1(e);
        d += t;
        h = t + BigSigma0(a) + ((a & b) | (c & (a | b)));
    }

    // Sixteen steps; after the first sixteen each one first extends the message schedule.
    template <bool Extend>
    static inline __attribute__((always_inline)) void Sixteen(V& a, V& b, V& c, V& d, V& e, V& f,
                                                              V& g, V& h, V (&w)[16], const T* k) {
#define QV_SHA_STEP(a, b, c, d, e, f, g, h, i)                                                     \
    if constexpr (Extend)                                                                          \
        w[(i)] +=                                                                                  \
            SmallSigma1(w[((i) + 14) & 15]) + w[((i) + 9) & 15] + SmallSigma0(w[((i) + 1) & 15]);  \
    Step((a), (b), (c), (d), (e), (f), (g), (h), w[(i)] + ShaSplat<V>(k[(i)]))
        QV_SHA_STEP(a, b, c, d, e, f, g, h, 0);
        QV_SHA_STEP(h, a, b, c, d, e, f, g, 1);
        QV_SHA_STEP(g, h, a, b, c, d, e, f, 2);
        QV_SHA_STEP(f, g, h, a, b, c, d, e, 3);
        QV_SHA_STEP(e, f, g, h, a, b, c, d, 4);
        QV_SHA_STEP(d, e, f, g, h, a, b, c, 5);
        QV_SHA_STEP(c, d, e, f, g, h, a, b, 6);
        QV_SHA_STEP(b, c, d, e, f, g, h, a, 7);
        QV_SHA_STEP(a, b, c, d, e, f, g, h, 8);
        QV_SHA_STEP(h, a, b, c, d, e, f, g, 9);
        QV_SHA_STEP(g, h, a, b, c, d, e, f, 10);
        QV_SHA_STEP(f, g, h, a, b, c, d, e, 11);
        QV_SHA_STEP(e, f, g, h, a, b, c, d, 12);
        QV_SHA_STEP(d, e, f, g, h, a, b, c, 13);
        QV_SHA_STEP(c, d, e, f, g, h, a, b, 14);
        QV_SHA_STEP(b, c, d, e, f, g, h, a, 15);
#undef QV_SHA_STEP
    }

    // One compression of the block at x (16 words, word-major) into the state s. Kept out of
    // line: one copy serves every block.
    static __attribute__((noinline)) void Compress(V (&s)[8], const T* x, const T* k) {
        V w[16];
        for (int i = 0; i < 16; ++i)
            w[i] = ShaLoad<V>(x + i * N);
        V a = s[0], b = s[1], c = s[2], d = s[3], e = s[4], f = s[5], g = s[6], h = s[7];
        Sixteen<false>(a, b, c, d, e, f, g, h, w, k);
        for (int j = 16; j < F::Steps; j += 16)
            Sixteen<true>(a, b, c, d, e, f, g, h, w, k + j);
        s[0] += a;
        s[1] += b;
        s[2] += c;
        s[3] += d;
        s[4] += e;
        s[5] += f;
        s[6] += g;
        s[7] += h;
    }

    // Where one message layout lives in the work area and how it is shaped.
    struct TPattern {
        T* Words;           // Blocks * 16 * N message words
        T* Masks;           // Blocks * N: all ones where the lane's message has that block
        int Blocks;         // the longest lane's block count
        bool DigestFirst;   // even rounds: the digest is the message's first bytes
        uint32_t Offset[N]; // odd rounds: byte offset of the digest, per lane
    };

    static uint32_t BlocksFor(uint32_t length) {
        return (length + LengthBytes) / BlockBytes + 1;
    }

    static void Append(uint8_t* message, uint32_t& pos, const uint8_t* bytes, uint32_t n) {
        if (n != 0) __builtin_memcpy(message + pos, bytes, n);
        pos += n;
    }

    // Writes the digest (8 big-endian words) at byte offset o of one lane's message.
    static void PutDigestLane(T* words, uint32_t o, int lane, const T (&dw)[8]) {
        T* w = words + static_cast<size_t>(o / WordBytes) * N + lane;
        const uint32_t r = o % WordBytes;
        if (r == 0) {
            for (int k = 0; k < 8; ++k)
                w[k * N] = dw[k];
            return;
        }
        const int sh = static_cast<int>(8 * r);
        const T low = static_cast<T>(~T(0) >> sh); // the bytes after the first r of a word
        w[0] = static_cast<T>((w[0] & ~low) | (dw[0] >> sh));
        for (int k = 1; k < 8; ++k)
            w[k * N] = static_cast<T>((dw[k - 1] << (Bits - sh)) | (dw[k] >> sh));
        w[8 * N] = static_cast<T>((w[8 * N] & low) | (dw[7] << (Bits - sh)));
    }

    // Runs every round for the N users of one full group (job lanes [first, first + N)), reading
    // the digests from and writing them back to job.Digest. scratch holds one lane's longest
    // message.
    static void RunGroup(const TShaLaneJob& job, size_t first, T* area, TPattern* patterns,
                         uint8_t* scratch) {
        const uint8_t* p[N];
        uint32_t pLen[N];
        const uint8_t* s[N];
        uint32_t sLen[N];
        bool uniform = true;
        for (int l = 0; l < N; ++l) {
            const size_t u = first + static_cast<size_t>(l);
            p[l] = job.P[u];
            pLen[l] = job.PLength[u];
            s[l] = job.S[u];
            sLen[l] = job.SLength[u];
            if (pLen[l] != pLen[0] || sLen[l] != sLen[0]) uniform = false;
        }

        // Lay out the eight messages.
        T* next = area;
        for (int layout = 0; layout < KLayouts; ++layout) {
            TPattern& pat = patterns[layout];
            const bool odd = (layout & 1) != 0;
            const bool withS = (layout & 2) != 0;
            const bool withP = (layout & 4) != 0;
            uint32_t blocks = 1;
            uint32_t len[N];
            for (int l = 0; l < N; ++l) {
                len[l] = DigestBytes + pLen[l] + (withS ? sLen[l] : 0) + (withP ? pLen[l] : 0);
                const uint32_t nb = BlocksFor(len[l]);
                if (nb > blocks) blocks = nb;
            }
            pat.Words = next;
            next += static_cast<size_t>(blocks) * 16 * N;
            pat.Masks = next;
            next += static_cast<size_t>(blocks) * N;
            pat.Blocks = static_cast<int>(blocks);
            pat.DigestFirst = !odd;
            // Each lane's message is laid out in bytes, padded, then spread into its lane.
            const size_t bytes = static_cast<size_t>(blocks) * BlockBytes;
            for (int l = 0; l < N; ++l) {
                uint8_t* m = scratch;
                __builtin_memset(m, 0, bytes);
                uint32_t pos = 0;
                if (odd)
                    Append(m, pos, p[l], pLen[l]);
                else
                    pos += DigestBytes;
                if (withS) Append(m, pos, s[l], sLen[l]);
                if (withP) Append(m, pos, p[l], pLen[l]);
                if (odd) {
                    pat.Offset[l] = pos;
                    pos += DigestBytes;
                } else {
                    pat.Offset[l] = 0;
                    Append(m, pos, p[l], pLen[l]);
                }
                m[pos] = 0x80;
                const uint32_t nb = BlocksFor(len[l]);
                ShaBytesFromWord<uint64_t>(uint64_t{len[l]} * 8, m + nb * BlockBytes - 8);
                for (uint32_t b = 0; b < blocks; ++b)
                    pat.Masks[b * N + l] = b < nb ? static_cast<T>(~T(0)) : T(0);
                for (size_t w = 0; w < bytes / WordBytes; ++w)
                    pat.Words[w * N + l] = ShaWordFromBytes<T>(m + w * WordBytes);
            }
        }
        // Kept in a register rather than folded into every step as an address constant.
        const T* kp = F::K;
        __asm__("" : "+r"(kp) : : "memory");

        V f[8];
        for (int k = 0; k < 8; ++k) {
            T lanes[N];
            for (int l = 0; l < N; ++l)
                lanes[l] =
                    ShaWordFromBytes<T>(job.Digest[first + static_cast<size_t>(l)] + k * WordBytes);
            f[k] = ShaLoad<V>(lanes);
        }

        int layouts[KLayoutCycle];
        for (uint32_t i = 0; i < KLayoutCycle; ++i)
            layouts[i] = LayoutOfRound(i);
        int c = 0;
        for (uint32_t i = 0; i < job.Rounds; ++i) {
            TPattern& pat = patterns[layouts[c]];
            if (pat.DigestFirst) {
                for (int k = 0; k < 8; ++k)
                    ShaStore<V>(pat.Words + k * N, f[k]);
            } else if (uniform) {
                const uint32_t o = pat.Offset[0];
                T* w = pat.Words + static_cast<size_t>(o / WordBytes) * N;
                const uint32_t r = o % WordBytes;
                if (r == 0) {
                    for (int k = 0; k < 8; ++k)
                        ShaStore<V>(w + k * N, f[k]);
                } else {
                    const int sh = static_cast<int>(8 * r);
                    const V low = ShaSplat<V>(static_cast<T>(~T(0) >> sh));
                    ShaStore<V>(w, (ShaLoad<V>(w) & ~low) | (f[0] >> sh));
                    for (int k = 1; k < 8; ++k)
                        ShaStore<V>(w + k * N, (f[k - 1] << (Bits - sh)) | (f[k] >> sh));
                    ShaStore<V>(w + 8 * N, (ShaLoad<V>(w + 8 * N) & low) | (f[7] << (Bits - sh)));
                }
            } else {
                T dw[8][N];
                for (int k = 0; k < 8; ++k)
                    ShaStore<V>(dw[k], f[k]);
                for (int l = 0; l < N; ++l) {
                    const T lane[8] = {dw[0][l], dw[1][l], dw[2][l], dw[3][l],
                                       dw[4][l], dw[5][l], dw[6][l], dw[7][l]};
                    PutDigestLane(pat.Words, pat.Offset[l], l, lane);
                }
            }

            V st[8];
            for (int k = 0; k < 8; ++k)
                st[k] = ShaSplat<V>(F::Init[k]);
            Compress(st, pat.Words, kp);
            for (int b = 1; b < pat.Blocks; ++b) {
                // Lanes whose message has ended keep the digest of their last block.
                V n[8];
                for (int k = 0; k < 8; ++k)
                    n[k] = st[k];
                Compress(n, pat.Words + static_cast<size_t>(b) * 16 * N, kp);
                const V m = ShaLoad<V>(pat.Masks + b * N);
                for (int k = 0; k < 8; ++k)
                    st[k] = (n[k] & m) | (st[k] & ~m);
            }
            for (int k = 0; k < 8; ++k)
                f[k] = st[k];
            if (++c == KLayoutCycle) c = 0;
        }

        for (int k = 0; k < 8; ++k) {
            T lanes[N];
            ShaStore<V>(lanes, f[k]);
            for (int l = 0; l < N; ++l)
                ShaBytesFromWord<T>(lanes[l],
                                    job.Digest[first + static_cast<size_t>(l)] + k * WordBytes);
        }
    }

    // Words the work area needs for the eight messages of a group whose longest P and S have the
    // given lengths.
    static size_t AreaWords(uint32_t maxP, uint32_t maxS) {
        size_t words = 0;
        for (int layout = 0; layout < KLayouts; ++layout) {
            const uint32_t len = DigestBytes + maxP + ((layout & 2) != 0 ? maxS : 0) +
                                 ((layout & 4) != 0 ? maxP : 0);
            words += static_cast<size_t>(BlocksFor(len)) * 17 * N;
        }
        return words;
    }

    // Runs the job in groups of N lanes. A short last group is filled up with copies of its first
    // user, whose results are thrown away.
    static bool Run(const TShaLaneJob& job) {
        if (job.Count == 0) return true;
        uint32_t maxP = 0, maxS = 0;
        for (size_t u = 0; u < job.Count; ++u) {
            if (job.PLength[u] > maxP) maxP = job.PLength[u];
            if (job.SLength[u] > maxS) maxS = job.SLength[u];
        }
        const size_t areaWords = AreaWords(maxP, maxS);
        const size_t scratchBytes =
            static_cast<size_t>(BlocksFor(DigestBytes + 2 * maxP + maxS)) * BlockBytes;
        const size_t bytes = (areaWords * sizeof(T) + scratchBytes + 63) / 64 * 64;
        T* area = static_cast<T*>(std::aligned_alloc(64, bytes));
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
            const uint8_t* p[N];
            uint32_t pLen[N];
            const uint8_t* s[N];
            uint32_t sLen[N];
            uint8_t* digest[N];
            uint8_t spare[N][DigestBytes];
            for (size_t l = 0; l < N; ++l) {
                const size_t u = first + (l < rest ? l : 0);
                p[l] = job.P[u];
                pLen[l] = job.PLength[u];
                s[l] = job.S[u];
                sLen[l] = job.SLength[u];
                if (l < rest) {
                    digest[l] = job.Digest[u];
                } else {
                    __builtin_memcpy(spare[l], job.Digest[u], DigestBytes);
                    digest[l] = spare[l];
                }
            }
            const TShaLaneJob tail{N, job.Rounds, p, pLen, s, sLen, digest};
            RunGroup(tail, 0, area, patterns, scratch);
            explicit_bzero(spare, sizeof spare);
        }
        // The work area held bytes made from the password.
        explicit_bzero(area, bytes);
        std::free(area);
        std::free(patterns);
        return true;
    }
};

// The unit's table, for lane vectors V32 of 32-bit and V64 of 64-bit words.
template <class V32, class V64> TShaUnit MakeShaUnit() {
    return {TShaGroup<uint32_t, V32>::Run, TShaGroup<uint32_t, V32>::N,
            TShaGroup<uint64_t, V64>::Run, TShaGroup<uint64_t, V64>::N};
}

} // namespace

} // namespace quorvane
