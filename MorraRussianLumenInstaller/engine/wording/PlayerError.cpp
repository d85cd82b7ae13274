#include "wording/PlayerError.h"

#include <filesystem>
#include <new>
#include <string>
#include <system_error>

#include "text/SystemErrorText.h"
#include "text/Utf8.h"

namespace morra {

namespace fs = std::filesystem;

namespace {

constexpr const char* kStopped = "Операция остановлена из-за ошибки: ";

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

// The system's description of an error code: ours in Russian for the system's own codes.
std::string describedCode(const std::error_code& code) {
    if (code.category() == std::generic_category() || code.category() == std::system_category())
        return systemErrorText(code.value());
    return validUtf8(code.message());
}

// A system error's text with the system's description (what std::system_error appends to its
// own words) in Russian.
std::string describedInRussian(const std::system_error& error) {
    const std::string text = error.what();
    if (text == error.code().message()) return describedCode(error.code());
    const std::string english = ": " + error.code().message();
    if (text.size() < english.size() || text.compare(text.size() - english.size(), english.size(), english) != 0)
        return validUtf8(text);
    return validUtf8(std::string_view(text).substr(0, text.size() - english.size())) + ": " + describedCode(error.code());
}

}  // namespace

InstallerError playerError(const FileError& error) {
    switch (error.reason()) {
        case FileErrorReason::FailedCall: break;
        case FileErrorReason::NotRegularFile:
            return InstallerError("Ожидался обычный файл, но это папка, канал или устройство: " + displayPath(error.path()));
        case FileErrorReason::AppManagement: return appManagementRefusal(error.path());
        case FileErrorReason::ForeignOwner: return foreignOwnerRefusal(error.path());
    }
    return InstallerError(std::string(kStopped) + failedAction(error.operation()) + " " + displayPath(error.path()) +
                          ": " + systemErrorText(error.code().value()));
}

InstallerError playerError(std::exception_ptr thrown) {
    try {
        std::rethrow_exception(thrown);
    } catch (const InstallerError& error) {
        return InstallerError(validUtf8(error.message()), error.kind());
    } catch (const FileError& error) {
        return playerError(error);
    } catch (const std::bad_alloc&) {
        return InstallerError("Не хватило памяти, операция остановлена.");
    } catch (const fs::filesystem_error& error) {
        return InstallerError("Не удалось обратиться к " + validUtf8(error.path1().string()) + ": " +
                              describedCode(error.code()));
    } catch (const std::system_error& error) {
        return InstallerError(kStopped + describedInRussian(error));
    } catch (const std::exception& error) {
        return InstallerError(kStopped + validUtf8(error.what()));
    }
}

}  // namespace morra
