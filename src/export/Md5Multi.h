#pragma once
// Multi-buffer MD5-crypt: many "$apr1$" hashes computed side by side, one user per lane of the
// processor's vector registers. The results are byte for byte those of the one-user
// computation for the same salts.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace quorvane {

// The lane code paths. TMd5Path::Auto takes the fastest one the processor has (or the one set with
// SetMd5DefaultPath).
enum class TMd5Path : uint8_t {
    Auto = 0,
    Scalar = 1,  // portable: plain 32-bit words, four users interleaved
    Generic = 2, // portable: the AVX-512 group layout built for the base instruction set
    Avx2 = 3,    // x86-64 with AVX2: 8 lanes, two register sets
    Avx512 = 4,  // x86-64 with AVX-512F/VL/BW: 16 lanes, two register sets
};

// "auto", "scalar", "generic", "avx2" or "avx512".
const char* Md5PathName(TMd5Path path);
// The path with that name; false when there is none.
bool Md5PathFromName(const std::string& name, TMd5Path& path);
// True when the path is built into this program and the processor can run it (TMd5Path::Auto
// always).
bool Md5PathAvailable(TMd5Path path);
// The fastest available path, from the processor's features.
TMd5Path Md5BestPath();
// The path that TMd5Path::Auto stands for right now.
TMd5Path Md5DefaultPath();
// Makes TMd5Path::Auto stand for the given path (TMd5Path::Auto restores the processor's choice).
// Throws std::invalid_argument when the path is not available. Not synchronised: set it before
// hashing starts.
void SetMd5DefaultPath(TMd5Path path);
// Users hashed side by side in one group by the path.
size_t Md5PathLanes(TMd5Path path);

// Passwords longer than this many bytes are hashed one at a time: their messages would make
// the per-group work area large and they are rare.
constexpr size_t KMaxLanePasswordLength = 256;

// Computes the "$apr1$" string of passwords[k] with the salt salts[k] into results[k] for every
// k, on the calling thread. The salt is read as every "$apr1$" verifier reads it: a leading
// "$apr1$" is skipped and it ends at the first "$" or after 8 characters. The batch may mix any
// password lengths and bytes; it is sorted by length internally so that the lanes of a group
// mostly need the same number of blocks. Throws std::invalid_argument when the three spans
// differ in size or the path is not available, std::bad_alloc when memory runs out; otherwise
// it does not fail.
void Apr1CryptMulti(std::span<const std::string_view> passwords, std::span<const std::string> salts,
                    std::span<std::string> results, TMd5Path path = TMd5Path::Auto);

// The same on up to `threads` workers (0: one per processor), the calling thread being one of
// them. Whole lane groups of the length-sorted batch are dealt out to the workers in turn. The
// results do not depend on the number of workers.
void Apr1CryptMultiParallel(std::span<const std::string_view> passwords,
                            std::span<const std::string> salts, std::span<std::string> results,
                            unsigned threads = 0, TMd5Path path = TMd5Path::Auto);

} // namespace quorvane
