#include "ProgressLine.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace morra {

namespace {

// Characters on a terminal line: UTF-8 lead bytes (every character here takes one column).
std::size_t columnsOf(const std::string& text) {
    std::size_t columns = 0;
    for (const char byte : text)
        if ((static_cast<unsigned char>(byte) & 0xC0) != 0x80) ++columns;
    return columns;
}

// The text cut to `columns` characters, never inside a character.
std::string cutTo(const std::string& text, std::size_t columns) {
    std::size_t seen = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && seen++ == columns) return text.substr(0, i);
    }
    return text;
}

}  // namespace

ProgressLine::ProgressLine(int fd) : fd_(fd), active_(::isatty(fd) == 1) {}

ProgressLine::~ProgressLine() { finish(); }

core::ProgressCallback ProgressLine::callback() {
    if (!active_) return {};
    return [this](const core::Progress& progress) { show(progress); };
}

void ProgressLine::show(const core::Progress& progress) {
    if (!active_) return;
    std::lock_guard lock(mutex_);
    std::string text = progressLineText(progress, estimate_.remaining(progress));
    // A line longer than the terminal would wrap, and the carriage return would then rewrite only
    // its last part.
    if (winsize size{}; ::ioctl(fd_, TIOCGWINSZ, &size) == 0 && size.ws_col > 1) text = cutTo(text, size.ws_col - 1U);
    if (text == shown_) return;
    const std::size_t width = columnsOf(text);
    // Spaces cover what is left of a longer earlier line; no terminal control sequences are needed.
    std::string line = "\r" + text;
    if (width < shownWidth_) line += std::string(shownWidth_ - width, ' ');
    write(line);
    shown_ = std::move(text);
    shownWidth_ = std::max(shownWidth_, width);
}

void ProgressLine::finish() {
    std::lock_guard lock(mutex_);
    if (shownWidth_ == 0) return;
    std::string blank(shownWidth_ + 2, ' ');
    blank.front() = blank.back() = '\r';
    write(blank);
    shown_.clear();
    shownWidth_ = 0;
}

void ProgressLine::write(const std::string& text) {
    const char* bytes = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        const ssize_t count = ::write(fd_, bytes, left);
        if (count < 0) {
            if (errno == EINTR) continue;
            return;  // a terminal that cannot be written to loses the progress, not the operation
        }
        bytes += count;
        left -= static_cast<std::size_t>(count);
    }
}

}  // namespace morra
