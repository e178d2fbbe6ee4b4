// The state store beside a database: any text reads as far as it is sound, and what was read
// is written back to a text that reads to the same records and hashes (the order of the lines
// may differ).

#include "export/DatabaseState.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace quorvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const TDatabaseStateData read = ParseStateText(text);
    const std::string written = StateText(read);
    if (!(ParseStateText(written) == read)) std::abort();
    return 0;
}
