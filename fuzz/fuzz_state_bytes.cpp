// The state store's current format: whatever follows its header reads as far as it is sound,
// and what was read is written to bytes that read back to the same records and hashes (and to
// as many bytes again: nothing read is lost or made up on the way), with the digest of each hash
// table beside it. Read with its per-user tables left until they are used, it is the same,
// written back as well as used.

#include "export/DatabaseState.h"

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

using namespace quorvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string bytes = "quorvane state 2\n";
    bytes.append(reinterpret_cast<const char*>(data), size);
    const TDatabaseStateData read = ParseStateText(bytes);
    if (read.Older) std::abort();
    const std::string written = StateText(read);
    const TDatabaseStateData again = ParseStateText(written);
    if (!(again == read) || StateText(again).size() != written.size()) std::abort();
    // The digests kept beside the hash tables are those of the bytes written.
    const TDatabaseStateData kept = ParseStateText(std::make_shared<const std::string>(written));
    if (kept.Hashes.Digest() != read.Hashes.Digest()) std::abort();
    for (const auto& [form, hashes] : read.FormHashes)
        if (kept.FormHashes.count(form) != 0 &&
            kept.FormHashes.at(form).Digest() != hashes.Digest())
            std::abort();
    const auto shared = std::make_shared<const std::string>(bytes);
    if (!(ParseStateText(StateText(ParseStateText(shared))) == read)) std::abort();
    if (!(ParseStateText(shared) == read)) std::abort();
    return 0;
}
