#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>

namespace morra::tools {

// Large tables that are read and written all over, in huge pages where the system offers them:
// fewer page-table misses and page faults make the work on them markedly faster. The memory is
// uninitialized.
struct HugePageRelease {
    void operator()(void* memory) const { std::free(memory); }
};

template <class T>
using HugePageArray = std::unique_ptr<T[], HugePageRelease>;

void* allocateHugePages(std::size_t bytes);

template <class T>
HugePageArray<T> makeHugePageArray(std::size_t count) {
    return HugePageArray<T>(static_cast<T*>(allocateHugePages(count * sizeof(T))));
}

}  // namespace morra::tools
