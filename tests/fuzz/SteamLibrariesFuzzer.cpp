// Feeds arbitrary bytes to the Steam library list scanner and checks its values against ICU running
// the same pattern (IcuReference.h), and its UTF-8 verdict against ICU's converter.

#include <unicode/ustring.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "IcuReference.h"
#include "search/SteamLibraries.h"

namespace {

// ICU keeps its backtracking state on a bounded heap stack; beyond this size a long run of
// white space could exhaust it, so larger inputs are only checked for not crashing.
constexpr std::size_t kReferenceLimit = 1 << 16;

[[noreturn]] void fail(const char* what, std::string_view text) {
    std::fprintf(stderr, "steam-libraries-fuzzer: %s (input of %zu bytes)\n", what, text.size());
    std::abort();
}

bool icuAcceptsUtf8(std::string_view text) {
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = 0;
    u_strFromUTF8(nullptr, 0, &length, text.data(), static_cast<int32_t>(text.size()), &status);
    return status == U_BUFFER_OVERFLOW_ERROR || status == U_STRING_NOT_TERMINATED_WARNING || U_SUCCESS(status);
}

// Each run of k backslashes becomes ceil(k / 2) of them: the first, third, fifth... of the run.
std::string halvedBackslashRuns(std::string_view value) {
    std::string result;
    std::size_t run = 0;
    for (char character : value) {
        run = character == '\\' ? run + 1 : 0;
        if (run == 0 || run % 2 == 1) result.push_back(character);
    }
    return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::optional<std::vector<std::string>> values = morra::search::libraryFolderPathValues(text);
    if (size > kReferenceLimit) return 0;

    if (values.has_value() != icuAcceptsUtf8(text)) fail("UTF-8 verdict differs from ICU", text);
    if (!values) return 0;
    if (*values != morra::test::icuPathCaptures(text)) fail("captured values differ from ICU", text);

    for (const std::string& value : *values)
        if (morra::search::collapseDoubledBackslashes(value) != halvedBackslashRuns(value)) fail("backslashes", text);
    return 0;
}
