#pragma once
// Work shared out over threads, the calling thread among them.

#include <cstddef>
#include <functional>

namespace quorvane {

// The number of workers for `asked` (0: one per processor, at least one).
unsigned WorkerCount(unsigned asked);

// Runs share(0), ..., share(workers - 1) at once, each on a thread of its own, share 0 on the
// calling thread. A share whose thread cannot be had runs on the calling thread after its own.
// Returns when every share has ended; the exception of the lowest share that threw is then
// thrown again.
void RunShares(std::size_t workers, const std::function<void(std::size_t)>& share);

} // namespace quorvane
