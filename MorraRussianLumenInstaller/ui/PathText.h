#pragma once

#include <QString>

#include <filesystem>

namespace morra {

// File-system paths as the window shows and receives them. Paths are UTF-8 on every platform the
// program runs on.
inline QString textFromPath(const std::filesystem::path& path) {
    return QString::fromStdString(path.string());
}

inline std::filesystem::path pathFromText(const QString& text) {
    return std::filesystem::path(text.toStdString());
}

}  // namespace morra
