#pragma once

namespace morra::context {
class InstallContext;
}  // namespace morra::context

namespace morra::steps {

// Checks, in their fixed order, that every payload file is present and has the digest the profile
// gives it; the first that is not decides the error.
void validatePayload(const context::InstallContext& context);

}  // namespace morra::steps
