#pragma once

namespace morra::core {

// How a removal's result begins when it left added bundles that something else changed (the list
// of them follows), for a front end that shows such a result as a warning.
inline constexpr const char* kChangedFilesLeft = "Реестр языка восстановлен. Неизвестные изменённые файлы оставлены:";

}  // namespace morra::core
