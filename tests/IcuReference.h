#pragma once

// The Steam library list's pattern run by ICU, the regular-expression engine behind the
// platform's regular expressions on macOS: the reference the scanner must agree with.

#include <unicode/regex.h>
#include <unicode/ustring.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace morra::test {

inline std::vector<std::string> icuPathCaptures(std::string_view text) {
    static const std::unique_ptr<icu::RegexPattern> pattern = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::RegexPattern> compiled(
            icu::RegexPattern::compile(icu::UnicodeString::fromUTF8(R"re("path"\s+"([^"]+)")re"), 0, status));
        if (U_FAILURE(status)) throw std::runtime_error("pattern does not compile");
        return compiled;
    }();
    UErrorCode status = U_ZERO_ERROR;
    const icu::UnicodeString input = icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
    std::unique_ptr<icu::RegexMatcher> matcher(pattern->matcher(input, status));
    std::vector<std::string> values;
    while (U_SUCCESS(status) && matcher->find(status)) {
        std::string value;
        matcher->group(1, status).toUTF8String(value);
        values.push_back(std::move(value));
    }
    if (U_FAILURE(status)) throw std::runtime_error(std::string("ICU: ") + u_errorName(status));
    return values;
}

}  // namespace morra::test
