#pragma once

#include <string_view>
#include <vector>

#include "DifferAnchor.h"
#include "FingerprintIndex.h"

namespace morra::tools {

// Where the runs of a patch start, found through an index of the old file's blocks (see
// FingerprintIndex). The new file is walked once. While it follows the old file at the current
// run's offset, it is compared a word at a time; where that stops, each position's 32-byte block is
// looked up, and a block found in the old file is extended forward and backward into the longest
// exact match among the candidates. That match starts a new run when its offset is new and the
// current offset does not get nearly as many of its bytes right (a table of records matches itself
// at many offsets). Small edits thus leave the run as it is; inserted and deleted bytes start a new
// run where the old file's bytes resume.
std::vector<DifferAnchor> fingerprintAnchors(std::string_view oldData, std::string_view newData, const FingerprintIndex& index);

}  // namespace morra::tools
