#pragma once

#include <algorithm>
#include <string>
#include <vector>

namespace morra {

// Whether a digest text is one of a list; digests compare as exact texts.
inline bool containsDigest(const std::vector<std::string>& digests, const std::string& digest) {
    return std::find(digests.begin(), digests.end(), digest) != digests.end();
}

}  // namespace morra
