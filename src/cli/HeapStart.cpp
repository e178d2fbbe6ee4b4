#include "cli/HeapStart.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <malloc.h>
#include <unistd.h>

namespace quorvane::cli {

namespace {

constexpr std::string_view kHugeHeap = "glibc.malloc.hugetlb=1";

std::string HugePageSetting() {
    std::ifstream in("/sys/kernel/mm/transparent_hugepage/enabled");
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void PutBack(const char* tunables) {
    if (std::string_view(tunables) == "-")
        ::unsetenv("GLIBC_TUNABLES");
    else
        ::setenv("GLIBC_TUNABLES", tunables, 1);
    ::unsetenv(kHeapRunVariable);
}

// An export allocates and frees large tables all the way through. glibc's defaults grow the heap
// by 128 KiB at a time and hand freed space at its top back to the kernel at once, so the same
// memory is asked for, faulted in and zeroed again and again: a tenth of a million-user export's
// processor time. The process ends with the export, so what it frees is kept for its next
// allocation instead, and the heap grows in steps of 64 MiB (reserved, not touched: the peak
// resident size does not grow).
void KeepFreedHeap() {
    (void)::mallopt(M_TOP_PAD, 64 << 20);
    (void)::mallopt(M_TRIM_THRESHOLD, 1 << 30);
}

} // namespace

THeapRestart PlanHeapRestart(std::string_view command, const char* tunables, const char* marker,
                             std::string_view hugePages) {
    THeapRestart plan;
    // "always" gives huge pages unasked, "never" refuses them; a user's own word on the heap
    // stands.
    if (marker != nullptr || command != "export" ||
        hugePages.find("[madvise]") == std::string_view::npos ||
        (tunables != nullptr &&
         std::string_view(tunables).find("glibc.malloc.hugetlb") != std::string_view::npos))
        return plan;
    plan.RunAgain = true;
    const bool given = tunables != nullptr && *tunables != '\0';
    plan.Marker = tunables != nullptr ? tunables : "-";
    plan.Tunables =
        given ? std::string(tunables) + ":" + std::string(kHugeHeap) : std::string(kHugeHeap);
    return plan;
}

void TuneHeap(int argc, char** argv) {
    if (argc >= 2 && std::string_view(argv[1]) == "export") KeepFreedHeap();
    if (const char* marker = std::getenv(kHeapRunVariable)) {
        PutBack(marker);
        return;
    }
    if (argc < 2) return;
    const THeapRestart plan =
        PlanHeapRestart(argv[1], std::getenv("GLIBC_TUNABLES"), nullptr, HugePageSetting());
    if (!plan.RunAgain) return;
    ::setenv("GLIBC_TUNABLES", plan.Tunables.c_str(), 1);
    ::setenv(kHeapRunVariable, plan.Marker.c_str(), 1);
    ::execv("/proc/self/exe", argv);
    PutBack(plan.Marker.c_str()); // not started again: go on as this run
}

void GiveBackFreedHeap() {
    (void)::malloc_trim(0);
}

} // namespace quorvane::cli
