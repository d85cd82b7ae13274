#include "files/FileError.h"

#include "files/TemporaryFiles.h"
#include "text/SystemErrorText.h"
#include "text/Utf8.h"

namespace morra {

namespace fs = std::filesystem;

namespace {

const char* failedAction(FileOperation operation) {
    switch (operation) {
        case FileOperation::Stat: return "Не удалось проверить";
        case FileOperation::List: return "Не удалось прочитать папку";
        case FileOperation::Open: return "Не удалось открыть файл";
        case FileOperation::Create: return "Не удалось создать файл";
        case FileOperation::Read: return "Не удалось прочитать файл";
        case FileOperation::Write: return "Не удалось записать файл";
        case FileOperation::Sync: return "Не удалось сохранить на диск";
        case FileOperation::Clone: return "Не удалось скопировать файл";
        case FileOperation::Rename: return "Не удалось записать файл";
        case FileOperation::Remove:
        case FileOperation::Discard: return "Не удалось удалить файл";
        case FileOperation::CreateDirectory: return "Не удалось создать папку";
        case FileOperation::SetPermissions: return "Не удалось изменить права доступа к файлу";
        case FileOperation::Lock: return "Не удалось заблокировать";
    }
    return "Не удалось обратиться к файлу";
}

}  // namespace

FileError::FileError(int error, FileOperation operation, const fs::path& path)
    : std::system_error(error, std::generic_category(), std::string(failedAction(operation)) + " " + displayPath(path)),
      operation_(operation),
      path_(path),
      message_(std::string(failedAction(operation)) + " " + displayPath(path) + ": " + systemErrorText(error)) {}

InstallerError appManagementRefusal(const fs::path& path) {
    return InstallerError(
        "Система не разрешила изменить файлы игры: " + displayPath(path) +
            "\nОткройте «Системные настройки» → «Конфиденциальность и безопасность» → «Управление приложениями», "
            "разрешите там изменять приложения этому установщику или, если он запущен из терминала, программе "
            "терминала (например, «Терминал»), затем повторите попытку.",
        InstallerError::Kind::AppManagement);
}

InstallerError foreignOwnerRefusal(const fs::path& path) {
    return InstallerError(
        "Файлы игры принадлежат другой учётной записи, и у этой нет прав их изменить: " + displayPath(path) +
            "\nОткройте в Finder «Свойства» папки игры, в разделе «Общий доступ и права доступа» дайте своей учётной "
            "записи право «Чтение и запись» и примените его к вложенным объектам или запустите установщик из той "
            "учётной записи, которая установила игру, затем повторите попытку.",
        InstallerError::Kind::ForeignOwner);
}

void throwFileError(int error, FileOperation operation, const fs::path& path) { throw FileError(error, operation, path); }

std::string displayPath(const fs::path& path) { return validUtf8(standInTarget(path).string()); }

std::string displayName(const fs::path& path) { return validUtf8(standInTarget(path).filename().string()); }

}  // namespace morra
