#include "text/SystemErrorText.h"

#include <cerrno>
#include <system_error>

#include "text/Utf8.h"

namespace morra::text {

namespace {

const char* russianDescription(int error) {
    switch (error) {
        case EROFS: return "Диск доступен только для чтения";
        case ENOSPC: return "На диске не осталось места";
        case EDQUOT: return "Исчерпана дисковая квота учётной записи";
        case EACCES: return "Нет прав доступа";
        case EPERM: return "Операция не разрешена";
        case EIO: return "Ошибка ввода-вывода: диск не смог прочитать или записать данные";
        case ENOENT: return "Нет такого файла или папки";
        case ENOTDIR: return "Часть пути не является папкой";
        case EISDIR: return "Это папка, а не файл";
        case EEXIST: return "Файл уже существует";
        case ENOTEMPTY: return "Папка не пуста";
        case ENAMETOOLONG: return "Слишком длинное имя файла";
        case ELOOP: return "Слишком много символических ссылок подряд";
        case EBUSY: return "Файл или устройство заняты";
        case ETXTBSY: return "Файл занят работающей программой";
        case EXDEV: return "Файлы находятся на разных дисках";
        case EMFILE: return "Программа открыла слишком много файлов";
        case ENFILE: return "В системе открыто слишком много файлов";
        case ENOMEM: return "Не хватает памяти";
        case EINVAL: return "Недопустимый аргумент";
        case ENOTSUP: return "Операция не поддерживается";
#if EOPNOTSUPP != ENOTSUP
        // One value on Linux; on macOS sockets and file systems answer with either.
        case EOPNOTSUPP: return "Операция не поддерживается";
#endif
        case EFBIG: return "Файл слишком велик для этого диска";
        case ENXIO: return "Устройство не найдено или отключено";
        case ETIMEDOUT: return "Время ожидания истекло";
        default: return nullptr;
    }
}

}  // namespace

std::string systemErrorText(int error) {
    if (const char* description = russianDescription(error)) return description;
    // The library's description is read safely from any thread (strerror is not).
    return validUtf8(std::generic_category().message(error)) + " (ошибка " + std::to_string(error) + ")";
}

}  // namespace morra::text
