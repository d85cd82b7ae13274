#include "wording/PlayerError.h"

#include <filesystem>
#include <new>
#include <string>
#include <system_error>

#include "text/SystemErrorText.h"
#include "text/Utf8.h"

namespace morra::wording {

namespace fs = std::filesystem;

namespace {

constexpr const char* kStopped = "Операция остановлена из-за ошибки: ";

const char* failedAction(files::FileOperation operation) {
    switch (operation) {
        case files::FileOperation::Stat: return "Не удалось проверить";
        case files::FileOperation::List: return "Не удалось прочитать папку";
        case files::FileOperation::Open: return "Не удалось открыть файл";
        case files::FileOperation::Create: return "Не удалось создать файл";
        case files::FileOperation::Read: return "Не удалось прочитать файл";
        case files::FileOperation::Write: return "Не удалось записать файл";
        case files::FileOperation::Sync: return "Не удалось сохранить на диск";
        case files::FileOperation::Clone: return "Не удалось скопировать файл";
        case files::FileOperation::Rename: return "Не удалось записать файл";
        case files::FileOperation::Remove:
        case files::FileOperation::Discard: return "Не удалось удалить файл";
        case files::FileOperation::CreateDirectory: return "Не удалось создать папку";
        case files::FileOperation::SetPermissions: return "Не удалось изменить права доступа к файлу";
        case files::FileOperation::Lock: return "Не удалось заблокировать";
    }
    return "Не удалось обратиться к файлу";
}

core::InstallerError appManagementRefusal(const fs::path& path) {
    return core::InstallerError(
        "Система не разрешила изменить файлы игры: " + files::displayPath(path) +
            "\nОткройте «Системные настройки» → «Конфиденциальность и безопасность» → «Управление приложениями», "
            "разрешите там изменять приложения этому установщику или, если он запущен из терминала, программе "
            "терминала (например, «Терминал»), затем повторите попытку.",
        core::InstallerError::Kind::AppManagement);
}

core::InstallerError foreignOwnerRefusal(const fs::path& path) {
    return core::InstallerError(
        "Файлы игры принадлежат другой учётной записи, и у этой нет прав их изменить: " + files::displayPath(path) +
            "\nОткройте в Finder «Свойства» папки игры, в разделе «Общий доступ и права доступа» дайте своей учётной "
            "записи право «Чтение и запись» и примените его к вложенным объектам или запустите установщик из той "
            "учётной записи, которая установила игру, затем повторите попытку.",
        core::InstallerError::Kind::ForeignOwner);
}

// The system's description of an error code: ours in Russian for the system's own codes.
std::string describedCode(const std::error_code& code) {
    if (code.category() == std::generic_category() || code.category() == std::system_category())
        return text::systemErrorText(code.value());
    return text::validUtf8(code.message());
}

// A system error's text with the system's description (what std::system_error appends to its
// own words) in Russian.
std::string describedInRussian(const std::system_error& error) {
    const std::string text = error.what();
    if (text == error.code().message()) return describedCode(error.code());
    const std::string english = ": " + error.code().message();
    if (text.size() < english.size() || text.compare(text.size() - english.size(), english.size(), english) != 0)
        return text::validUtf8(text);
    return text::validUtf8(std::string_view(text).substr(0, text.size() - english.size())) + ": " + describedCode(error.code());
}

}  // namespace

core::InstallerError playerError(const files::FileError& error) {
    switch (error.reason()) {
        case files::FileErrorReason::FailedCall: break;
        case files::FileErrorReason::NotRegularFile:
            return core::InstallerError("Ожидался обычный файл, но это папка, канал или устройство: " + files::displayPath(error.path()));
        case files::FileErrorReason::AppManagement: return appManagementRefusal(error.path());
        case files::FileErrorReason::ForeignOwner: return foreignOwnerRefusal(error.path());
    }
    return core::InstallerError(std::string(kStopped) + failedAction(error.operation()) + " " +
                                files::displayPath(error.path()) + ": " + text::systemErrorText(error.code().value()));
}

core::InstallerError playerError(std::exception_ptr thrown) {
    try {
        std::rethrow_exception(thrown);
    } catch (const core::InstallerError& error) {
        return core::InstallerError(text::validUtf8(error.message()), error.kind());
    } catch (const files::FileError& error) {
        return playerError(error);
    } catch (const std::bad_alloc&) {
        return core::InstallerError("Не хватило памяти, операция остановлена.");
    } catch (const fs::filesystem_error& error) {
        return core::InstallerError("Не удалось обратиться к " + text::validUtf8(error.path1().string()) + ": " +
                                    describedCode(error.code()));
    } catch (const std::system_error& error) {
        return core::InstallerError(kStopped + describedInRussian(error));
    } catch (const std::exception& error) {
        return core::InstallerError(kStopped + text::validUtf8(error.what()));
    }
}

}  // namespace morra::wording
