#pragma once

#include <cstddef>
#include <filesystem>
#include <string_view>

namespace morra::tools {

// A regular file's bytes mapped read-only into memory, so large game files are read as they are
// used and never copied. Refuses symbolic links and anything but a regular file (a pipe or a
// device would block or never end); errors throw std::runtime_error naming the file.
class MappedFile {
public:
    explicit MappedFile(const std::filesystem::path& path);
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    std::string_view bytes() const { return {static_cast<const char*>(data_), size_}; }

private:
    void* data_ = nullptr;
    std::size_t size_ = 0;
};

}  // namespace morra::tools
