#pragma once
// Multi-buffer MD5-crypt: many "$apr1$" hashes computed side by side, one user per lane of the
// processor's vector registers. The results are byte for byte those of the one-user
// computation for the same salts.

#include "export/LanePaths.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace quorvane {

// The kernel's path choice: which paths it has, which TLanePath::Auto stands for.
TLanePaths& Md5Paths();
// Users hashed side by side in one group by the path: the scalar path four, AVX2 8 and AVX-512
// 16 (each in two register sets).
size_t Md5PathLanes(TLanePath path);

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
                    std::span<std::string> results, TLanePath path = TLanePath::Auto);

// The same on up to `threads` workers (0: one per processor), the calling thread being one of
// them. Whole lane groups of the length-sorted batch are dealt out to the workers in turn. The
// results do not depend on the number of workers.
void Apr1CryptMultiParallel(std::span<const std::string_view> passwords,
                            std::span<const std::string> salts, std::span<std::string> results,
                            unsigned threads = 0, TLanePath path = TLanePath::Auto);

} // namespace quorvane
