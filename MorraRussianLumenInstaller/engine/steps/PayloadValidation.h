#pragma once

namespace morra {

class InstallContext;

// Checks, in their fixed order, that every payload file is present and has the digest the profile
// gives it; the first that is not decides the error.
void validatePayload(const InstallContext& context);

}  // namespace morra
