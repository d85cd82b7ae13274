#include "MappedFile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace morra::tools {

namespace {

[[noreturn]] void fail(const std::filesystem::path& path, const std::string& what) {
    throw std::runtime_error(path.string() + ": " + what);
}

}  // namespace

MappedFile::MappedFile(const std::filesystem::path& path) {
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) fail(path, errno == ELOOP ? "is a symbolic link" : std::strerror(errno));
    struct stat status {};
    const bool statted = ::fstat(descriptor, &status) == 0;
    if (!statted || !S_ISREG(status.st_mode)) {
        const std::string what = statted ? "is not a regular file" : std::strerror(errno);
        ::close(descriptor);
        fail(path, what);
    }
    size_ = static_cast<std::size_t>(status.st_size);
    if (size_ > 0) {
        data_ = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, descriptor, 0);
        if (data_ == MAP_FAILED) {
            const std::string what = std::strerror(errno);
            data_ = nullptr;
            ::close(descriptor);
            fail(path, "cannot be mapped: " + what);
        }
    }
    ::close(descriptor);
}

MappedFile::~MappedFile() {
    if (data_) ::munmap(data_, size_);
}

}  // namespace morra::tools
