#include "export/md5.h"

#include <bit>
#include <cstring>

namespace quorvane {

// Read from a table so that every step adds a memory operand instead of materialising an
// immediate.
alignas(64) const uint32_t KMD5Step[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};

namespace {

inline uint32_t LoadLE(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap32(v);
    return v;
}

inline void StoreLE(uint8_t* p, uint32_t v) {
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap32(v);
    std::memcpy(p, &v, 4);
}

// Each step's dependency chain runs through b, the result of the step before. Everything that
// does not need b (the message word, the constant, and for G the part that depends on d alone)
// is added to a first; the empty asm keeps the compiler from re-associating those additions
// into the chain. F and I need b at their start, H and G one operation later.
#define MD5_STEP(offPath, onPath, a, b, c, d, xk, i, s)                                            \
    do {                                                                                           \
        (a) += (xk) + KMD5Step[i] + (offPath);                                                     \
        __asm__("" : "+r"(a));                                                                     \
        (a) += (onPath);                                                                           \
        (a) = std::rotl((a), (s)) + (b);                                                           \
    } while (0)

#define STEP_F(a, b, c, d, xk, i, s) MD5_STEP(0u, (d) ^ ((b) & ((c) ^ (d))), a, b, c, d, xk, i, s)
// G = (b & d) | (c & ~d): the two halves never overlap, so the OR is an addition.
#define STEP_G(a, b, c, d, xk, i, s) MD5_STEP((c) & ~(d), (b) & (d), a, b, c, d, xk, i, s)
#define STEP_H(a, b, c, d, xk, i, s) MD5_STEP(0u, (b) ^ ((c) ^ (d)), a, b, c, d, xk, i, s)
#define STEP_I(a, b, c, d, xk, i, s) MD5_STEP(0u, (c) ^ ((b) | ~(d)), a, b, c, d, xk, i, s)

} // namespace

void MD5Transform(uint32_t state[4], const uint8_t block[64]) {
    uint32_t x[16];
    for (int k = 0; k < 16; ++k)
        x[k] = LoadLE(block + 4 * k);
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];

    STEP_F(a, b, c, d, x[0], 0, 7);
    STEP_F(d, a, b, c, x[1], 1, 12);
    STEP_F(c, d, a, b, x[2], 2, 17);
    STEP_F(b, c, d, a, x[3], 3, 22);
    STEP_F(a, b, c, d, x[4], 4, 7);
    STEP_F(d, a, b, c, x[5], 5, 12);
    STEP_F(c, d, a, b, x[6], 6, 17);
    STEP_F(b, c, d, a, x[7], 7, 22);
    STEP_F(a, b, c, d, x[8], 8, 7);
    STEP_F(d, a, b, c, x[9], 9, 12);
    STEP_F(c, d, a, b, x[10], 10, 17);
    STEP_F(b, c, d, a, x[11], 11, 22);
    STEP_F(a, b, c, d, x[12], 12, 7);
    STEP_F(d, a, b, c, x[13], 13, 12);
    STEP_F(c, d, a, b, x[14], 14, 17);
    STEP_F(b, c, d, a, x[15], 15, 22);

    STEP_G(a, b, c, d, x[1], 16, 5);
    STEP_G(d, a, b, c, x[6], 17, 9);
    STEP_G(c, d, a, b, x[11], 18, 14);
    STEP_G(b, c, d, a, x[0], 19, 20);
    STEP_G(a, b, c, d, x[5], 20, 5);
    STEP_G(d, a, b, c, x[10], 21, 9);
    STEP_G(c, d, a, b, x[15], 22, 14);
    STEP_G(b, c, d, a, x[4], 23, 20);
    STEP_G(a, b, c, d, x[9], 24, 5);
    STEP_G(d, a, b, c, x[14], 25, 9);
    STEP_G(c, d, a, b, x[3], 26, 14);
    STEP_G(b, c, d, a, x[8], 27, 20);
    STEP_G(a, b, c, d, x[13], 28, 5);
    STEP_G(d, a, b, c, x[2], 29, 9);
    STEP_G(c, d, a, b, x[7], 30, 14);
    STEP_G(b, c, d, a, x[12], 31, 20);

    STEP_H(a, b, c, d, x[5], 32, 4);
    STEP_H(d, a, b, c, x[8], 33, 11);
    STEP_H(c, d, a, b, x[11], 34, 16);
    STEP_H(b, c, d, a, x[14], 35, 23);
    STEP_H(a, b, c, d, x[1], 36, 4);
    STEP_H(d, a, b, c, x[4], 37, 11);
    STEP_H(c, d, a, b, x[7], 38, 16);
    STEP_H(b, c, d, a, x[10], 39, 23);
    STEP_H(a, b, c, d, x[13], 40, 4);
    STEP_H(d, a, b, c, x[0], 41, 11);
    STEP_H(c, d, a, b, x[3], 42, 16);
    STEP_H(b, c, d, a, x[6], 43, 23);
    STEP_H(a, b, c, d, x[9], 44, 4);
    STEP_H(d, a, b, c, x[12], 45, 11);
    STEP_H(c, d, a, b, x[15], 46, 16);
    STEP_H(b, c, d, a, x[2], 47, 23);

    STEP_I(a, b, c, d, x[0], 48, 6);
    STEP_I(d, a, b, c, x[7], 49, 10);
    STEP_I(c, d, a, b, x[14], 50, 15);
    STEP_I(b, c, d, a, x[5], 51, 21);
    STEP_I(a, b, c, d, x[12], 52, 6);
    STEP_I(d, a, b, c, x[3], 53, 10);
    STEP_I(c, d, a, b, x[10], 54, 15);
    STEP_I(b, c, d, a, x[1], 55, 21);
    STEP_I(a, b, c, d, x[8], 56, 6);
    STEP_I(d, a, b, c, x[15], 57, 10);
    STEP_I(c, d, a, b, x[6], 58, 15);
    STEP_I(b, c, d, a, x[13], 59, 21);
    STEP_I(a, b, c, d, x[4], 60, 6);
    STEP_I(d, a, b, c, x[11], 61, 10);
    STEP_I(c, d, a, b, x[2], 62, 15);
    STEP_I(b, c, d, a, x[9], 63, 21);

    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
}

#undef STEP_F
#undef STEP_G
#undef STEP_H
#undef STEP_I
#undef MD5_STEP

void MD5Init(TMD5Context& context) {
    context.State[0] = 0x67452301;
    context.State[1] = 0xefcdab89;
    context.State[2] = 0x98badcfe;
    context.State[3] = 0x10325476;
    context.Count[0] = context.Count[1] = 0;
    std::memset(context.Buffer, 0, sizeof context.Buffer);
}

void MD5Update(TMD5Context& context, const void* data, size_t length) {
    const auto* input = static_cast<const uint8_t*>(data);
    size_t index = (context.Count[0] >> 3) & 0x3f;

    // The bit count is 64 bits wide, held as two words; the length may exceed 2^29 bytes.
    const uint64_t bits = (static_cast<uint64_t>(context.Count[1]) << 32 | context.Count[0]) +
                          (static_cast<uint64_t>(length) << 3);
    context.Count[0] = static_cast<uint32_t>(bits);
    context.Count[1] = static_cast<uint32_t>(bits >> 32);

    const size_t partLength = 64 - index;
    size_t i = 0;
    if (length >= partLength) {
        std::memcpy(context.Buffer + index, input, partLength);
        MD5Transform(context.State, context.Buffer);
        for (i = partLength; i + 63 < length; i += 64)
            MD5Transform(context.State, input + i);
        index = 0;
    }
    if (length > i) std::memcpy(context.Buffer + index, input + i, length - i);
}

TMD5Digest MD5Final(TMD5Context& context) {
    uint8_t bits[8];
    StoreLE(bits, context.Count[0]);
    StoreLE(bits + 4, context.Count[1]);

    static const uint8_t padding[64] = {0x80};
    const size_t index = (context.Count[0] >> 3) & 0x3f;
    const size_t padLength = index < 56 ? 56 - index : 120 - index;
    MD5Update(context, padding, padLength);
    MD5Update(context, bits, 8);

    TMD5Digest digest;
    for (int k = 0; k < 4; ++k)
        StoreLE(digest.data() + 4 * k, context.State[k]);
    // Nothing of the message may stay behind in memory the caller does not see.
    explicit_bzero(&context, sizeof context);
    return digest;
}

TMD5Digest MD5Digest(const void* data, size_t length) {
    TMD5Context context;
    MD5Init(context);
    MD5Update(context, data, length);
    return MD5Final(context);
}

} // namespace quorvane
