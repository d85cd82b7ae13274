#pragma once

#include <exception>
#include <string>

namespace morra::core {

// The program's one error type: it carries the finished Russian text that the user reads, and
// what kind of trouble it is, for a front end that offers more than the text. Its description
// (what()) is that text byte for byte.
class InstallerError : public std::exception {
public:
    enum class Kind {
        General,
        // The system did not let the installer change the game's application bundle; the user
        // can allow it in the system's settings (App Management) and try again.
        AppManagement,
        // The game's files belong to another user account, and this one may not change them; the
        // user can give this account the rights, or run the installer from that account.
        ForeignOwner,
        // The game is not the supported build, or something else changed its files; the text's
        // last line names the first such file with its digest.
        UnsupportedGame,
    };

    explicit InstallerError(std::string message, Kind kind = Kind::General)
        : message_(std::move(message)), kind_(kind) {}

    const char* what() const noexcept override { return message_.c_str(); }
    const std::string& message() const noexcept { return message_; }
    Kind kind() const noexcept { return kind_; }

private:
    std::string message_;
    Kind kind_;
};

}  // namespace morra::core
