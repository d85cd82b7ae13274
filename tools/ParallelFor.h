#pragma once

#include <atomic>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace morra::tools {

// The number of worker threads to use: the requested count, or one per core for 0.
inline unsigned workerCount(unsigned requested) {
    if (requested > 0) return requested;
    const unsigned cores = std::thread::hardware_concurrency();
    return cores > 0 ? cores : 1;
}

// Runs work(0) .. work(count - 1) on up to `threads` threads (the caller's among them); items are
// taken in order from a shared counter. The first exception thrown by an item is rethrown here
// after every thread has stopped; items not yet started are then skipped.
inline void parallelFor(std::size_t count, unsigned threads, const std::function<void(std::size_t)>& work) {
    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};
    std::exception_ptr error;
    std::mutex errorMutex;
    auto run = [&] {
        for (std::size_t item; !failed.load() && (item = next.fetch_add(1)) < count;) {
            try {
                work(item);
            } catch (...) {
                std::lock_guard<std::mutex> lock(errorMutex);
                if (!error) error = std::current_exception();
                failed = true;
            }
        }
    };
    const std::size_t helpers = std::min<std::size_t>(threads > 0 ? threads - 1 : 0, count > 0 ? count - 1 : 0);
    std::vector<std::thread> pool;
    pool.reserve(helpers);
    for (std::size_t i = 0; i < helpers; ++i) {
        try {
            pool.emplace_back(run);
        } catch (const std::system_error&) {
            break;  // fewer threads: the items still all run
        }
    }
    run();
    for (std::thread& thread : pool) thread.join();
    if (error) std::rethrow_exception(error);
}

}  // namespace morra::tools
