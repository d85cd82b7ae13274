#include "core/ResourcesUnavailable.h"

namespace morra::core {

std::string resourcesUnavailableText() {
    return std::string("Установщик не нашёл собственных файлов с переводом: его копия неполна или повреждена. "
                       "Скачайте установщик заново и запустите новую копию.\n") +
           kResourcesUnavailable;
}

}  // namespace morra::core
