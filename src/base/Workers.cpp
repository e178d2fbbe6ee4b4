#include "base/Workers.h"

#include <algorithm>
#include <exception>
#include <system_error>
#include <thread>
#include <vector>

namespace quorvane {

unsigned WorkerCount(unsigned asked) {
    return asked != 0 ? asked : std::max(1u, std::thread::hardware_concurrency());
}

void RunShares(std::size_t workers, const std::function<void(std::size_t)>& share) {
    if (workers == 0) return;
    std::vector<std::exception_ptr> errors(workers);
    const auto run = [&](std::size_t w) {
        try {
            share(w);
        } catch (...) {
            errors[w] = std::current_exception();
        }
    };
    std::vector<std::thread> pool;
    pool.reserve(workers - 1);
    std::size_t started = 1;
    try {
        for (; started < workers; ++started)
            pool.emplace_back(run, started);
    } catch (const std::system_error&) {
        // No more threads to be had: this one takes the shares left.
    }
    run(0);
    for (std::size_t w = started; w < workers; ++w)
        run(w);
    for (std::thread& t : pool)
        t.join();
    for (const std::exception_ptr& e : errors)
        if (e) std::rethrow_exception(e);
}

} // namespace quorvane
