#pragma once
// An export of a large database fills hundreds of megabytes of fresh heap, and faulting that in
// a 4 KiB page at a time costs it a fifth of its processor time. glibc backs its heap with
// transparent huge pages when asked (the tunable glibc.malloc.hugetlb), but reads the request
// only as a program starts: so the export runs itself again once, with the request added. The
// second run puts the environment back as the user gave it before anything else happens, so
// the commands it starts (a target's --after) see the user's own. An export also keeps the heap
// it frees rather than giving it back and faulting it in again.

#include <string>
#include <string_view>

namespace quorvane::cli {

// The variable that tells the second run what GLIBC_TUNABLES was: its value, or "-" for unset.
inline constexpr const char* kHeapRunVariable = "QUORVANE_HEAP_RUN";

struct THeapRestart {
    bool RunAgain = false;
    std::string Tunables; // GLIBC_TUNABLES for the second run
    std::string Marker;   // kHeapRunVariable's value for it
};

// Whether to run again, for the command (argv[1]), the user's GLIBC_TUNABLES and
// kHeapRunVariable (nullptr: unset) and the kernel's transparent huge page setting (the text
// of /sys/kernel/mm/transparent_hugepage/enabled: only "[madvise]" needs the request).
THeapRestart PlanHeapRestart(std::string_view command, const char* tunables, const char* marker,
                             std::string_view hugePages);

// First thing in main: for an export, keeps freed heap (in either run); in a second run, puts
// GLIBC_TUNABLES back and drops the marker; in a first run that PlanHeapRestart says should run
// again, executes the program again with the same arguments and does not return. Returns when the
// program goes on in this process, which is also what happens when the second start fails.
void TuneHeap(int argc, char** argv);

// Gives back to the system the heap that lies free after one step of an export and before the
// next: what the step freed is otherwise kept, and where it was another thread's (the pieces of
// a database read again on other threads) the build never reuses it.
void GiveBackFreedHeap();

} // namespace quorvane::cli
