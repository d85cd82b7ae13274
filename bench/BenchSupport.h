#pragma once

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <stdexcept>

namespace morra::bench {

struct Measurement {
    double seconds = 0;
    long peakKiB = 0;  // largest resident set of the process and everything it ran
};

// Runs the work in a child process and measures its wall time and peak memory (including the
// programs it starts). The work returns the child's exit status.
inline Measurement measureInChild(const std::function<int()>& work) {
    std::fflush(nullptr);  // the child must not print the parent's buffered output again
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child < 0) throw std::runtime_error("fork failed");
    if (child == 0) {
        int status = 1;
        try {
            status = work();
        } catch (const std::exception& error) {
            std::fprintf(stderr, "bench: %s\n", error.what());
        }
        std::fflush(nullptr);
        ::_exit(status);
    }
    int status = 0;
    struct rusage usage {};
    if (::wait4(child, &status, 0, &usage) < 0) throw std::runtime_error("wait4 failed");
    Measurement measurement;
    measurement.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    measurement.peakKiB = usage.ru_maxrss;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw std::runtime_error("measured work failed");
    return measurement;
}

}  // namespace morra::bench
