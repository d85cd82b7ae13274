#pragma once

#include <cstdint>
#include <functional>

namespace morra::core {

// How far an operation has come. `done` counts the bytes of the operation's work that are
// finished, of `total`; it never decreases, and the last report of a successful operation has
// done == total.
struct Progress {
    enum class Step {
        Checking,         // hashing the game's files and the backups
        BackingUp,        // copying untouched assets into the backup store
        AddingBundles,    // putting the four added bundles in place
        Patching,         // patching asset `item` of `itemCount`
        Restoring,        // restoring asset `item` of `itemCount` from its backup
        RemovingBundles,  // deleting the added bundles
        Verifying,        // hashing the results
    };
    Step step = Step::Checking;
    int item = 0;
    int itemCount = 0;
    std::uint64_t done = 0;
    std::uint64_t total = 0;
};

// Called on the operation's own thread, often (every few MiB); it must return quickly.
using ProgressCallback = std::function<void(const Progress&)>;

}  // namespace morra::core
