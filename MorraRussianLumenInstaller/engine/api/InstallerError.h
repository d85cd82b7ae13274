#pragma once

#include <exception>
#include <string>

namespace morra {

// The program's one error type: it carries the finished Russian text that the user reads, and
// nothing else. Its description (what()) is that text byte for byte.
class InstallerError : public std::exception {
public:
    explicit InstallerError(std::string message) : message_(std::move(message)) {}

    const char* what() const noexcept override { return message_.c_str(); }
    const std::string& message() const noexcept { return message_; }

private:
    std::string message_;
};

}  // namespace morra
