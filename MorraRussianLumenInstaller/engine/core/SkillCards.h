#pragma once

namespace morra::core {

// The variant of the translation an install puts in: skill-card names translated or left English.
enum class SkillCards { Translated, English };

}  // namespace morra::core
