#include "bsdiff/BsdiffFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <system_error>
#include <vector>

#include "files/FileError.h"
#include "files/Sha256.h"
#include "text/SystemErrorText.h"

namespace morra::bsdiff {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kWriteBufferSize = 1 << 20;

// The tool reports a failed system call as err(3) does: "bspatch: <context>: <system's text>".
BsdiffError toolError(const std::string& context, const std::system_error& error) {
    return BsdiffError("bspatch: " + context + ": " + error.code().message() + "\n",
                       "bspatch: " + context + ": " + text::systemErrorText(error.code().value()) + "\n");
}

std::string context(const std::string& call, const fs::path& path) {
    return call + "(" + files::displayPath(path) + ")";
}

// File handles are used by the applier's worker threads (patch reads) and by the calling thread
// (old reads, output writes); one lock keeps the file manager's hook from being called from two
// threads at once.
class FileInput : public BsdiffInput {
public:
    FileInput(files::FileHandle& handle, std::uint64_t size, std::mutex& lock, std::string context)
        : handle_(handle), size_(size), lock_(lock), context_(std::move(context)) {}

    std::uint64_t size() const override { return size_; }

    std::size_t readAt(std::uint64_t offset, void* buffer, std::size_t size) override {
        if (offset >= size_) return 0;
        size = static_cast<std::size_t>(std::min<std::uint64_t>(size, size_ - offset));
        std::lock_guard guard(lock_);
        try {
            const std::size_t count = handle_.readAt(buffer, size, offset);
            if (count == 0 && size > 0)
                throw BsdiffError("bspatch: " + context_ + ": the file became shorter while it was read\n");
            return count;
        } catch (const std::system_error& error) {
            throw toolError(context_, error);
        }
    }

private:
    files::FileHandle& handle_;
    const std::uint64_t size_;
    std::mutex& lock_;
    const std::string context_;
};

class FileOutput : public BsdiffOutput {
public:
    FileOutput(const files::FileManager& fileManager, files::FileHandle& handle, std::mutex& lock)
        : fileManager_(fileManager), handle_(handle), lock_(lock) {
        buffer_.reserve(kWriteBufferSize);
    }

    void write(const unsigned char* data, std::size_t size) override {
        hasher_.update(data, size);
        size_ += size;
        if (buffer_.size() + size > kWriteBufferSize) flush();
        if (size >= kWriteBufferSize) {
            writeOut(data, size);
        } else {
            buffer_.insert(buffer_.end(), data, data + size);
        }
    }

    void flush() {
        if (buffer_.empty()) return;
        writeOut(buffer_.data(), buffer_.size());
        buffer_.clear();
    }

    void sync() {
        std::lock_guard guard(lock_);
        try {
            handle_.sync();
        } catch (const std::system_error& error) {
            throw toolError(files::displayPath(handle_.path()), error);
        }
    }

    std::string digest() { return hasher_.finalHex(); }
    std::uint64_t size() const { return size_; }

private:
    void writeOut(const unsigned char* data, std::size_t size) {
        std::lock_guard guard(lock_);
        try {
            handle_.write(data, size);
        } catch (const std::system_error& error) {
            throw toolError(files::displayPath(handle_.path()), error);
        }
        fileManager_.reportTransfer(size);
    }

    const files::FileManager& fileManager_;
    files::FileHandle& handle_;
    std::mutex& lock_;
    std::vector<unsigned char> buffer_;
    files::Sha256 hasher_;
    std::uint64_t size_ = 0;
};

files::FileHandle openInput(const files::FileManager& fileManager, const fs::path& path, const std::string& context) {
    try {
        return fileManager.openForReading(path);
    } catch (const files::FileError& error) {
        if (error.reason() != files::FileErrorReason::FailedCall) throw;  // not a file the tool would read
        throw toolError(context, error);
    }
}

std::uint64_t sizeOf(const files::FileHandle& handle, const std::string& context) {
    try {
        return handle.size();
    } catch (const std::system_error& error) {
        throw toolError(context, error);
    }
}

}  // namespace

std::optional<std::uint64_t> patchOutputSize(const files::FileManager& fileManager, const fs::path& patchFile) {
    try {
        files::FileHandle handle = fileManager.openForReading(patchFile);
        unsigned char header[kBsdiffHeaderSize];
        std::size_t done = 0;
        while (done < sizeof header) {
            const std::size_t count = handle.readAt(header + done, sizeof header - done, done);
            if (count == 0) return std::nullopt;
            done += count;
        }
        return bsdiffNewSize(header);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

PatchedFile applyBsdiffFile(const files::FileManager& fileManager, const fs::path& oldFile, const fs::path& newFile,
                            const fs::path& patchFile, const BsdiffFileOptions& options) {
    // The order of the tool: the patch, then the old file, then the new file are opened before
    // the patch's header is read.
    const std::string patchContext = context("fread", patchFile);
    files::FileHandle patchHandle = openInput(fileManager, patchFile, context("fopen", patchFile));
    files::FileHandle oldHandle = openInput(fileManager, oldFile, context("open", oldFile));
    files::FileHandle newHandle;
    try {
        newHandle = fileManager.createNewFile(newFile, 0666);
    } catch (const files::FileError& error) {
        if (error.reason() != files::FileErrorReason::FailedCall) throw;  // the system's refusal, told as it is
        // The tool opens the new file's folder first and names that step "open <new>"; a missing
        // or non-folder parent is what makes that step fail.
        const int code = error.code().value();
        const bool folderMissing = code == ENOENT || code == ENOTDIR;
        throw toolError(folderMissing ? "open " + files::displayPath(newFile) : context("open", newFile), error);
    }

    try {
        std::mutex lock;
        FileInput patch(patchHandle, sizeOf(patchHandle, patchContext), lock, patchContext);
        FileInput old(oldHandle, sizeOf(oldHandle, files::displayPath(oldFile)), lock, files::displayPath(oldFile));
        FileOutput output(fileManager, newHandle, lock);
        applyBsdiff(old, patch, output, options.applier);
        output.flush();
        if (options.sync) output.sync();
        PatchedFile result{output.digest(), output.size()};
        newHandle.close();
        return result;
    } catch (...) {
        newHandle.close();
        fileManager.discard(newFile);  // clean-up never hides the error that is travelling
        throw;
    }
}

}  // namespace morra::bsdiff
