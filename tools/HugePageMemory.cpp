#include "HugePageMemory.h"

#include <sys/mman.h>

#include <new>

namespace morra::tools {

void* allocateHugePages(std::size_t bytes) {
    constexpr std::size_t kHugePage = std::size_t{2} << 20;
    const std::size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    void* memory = std::aligned_alloc(kHugePage, rounded > 0 ? rounded : kHugePage);
    if (!memory) throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
    ::madvise(memory, rounded, MADV_HUGEPAGE);
#endif
    return memory;
}

}  // namespace morra::tools
