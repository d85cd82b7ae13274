#include "ProgressText.h"

namespace morra {

namespace {

using std::chrono::seconds;

// Before this much time and this share of the work, a guess would jump about too much to help.
constexpr auto kFirstEstimateAfter = std::chrono::seconds(3);
constexpr int kFirstEstimateAtPercent = 5;

std::string countOf(const char* what, const core::Progress& progress) {
    return std::string(what) + " " + std::to_string(progress.item) + " из " + std::to_string(progress.itemCount) + "…";
}

}  // namespace

std::string progressStepText(const core::Progress& progress) {
    switch (progress.step) {
        case core::Progress::Step::Checking: return "Проверка файлов…";
        case core::Progress::Step::BackingUp: return "Резервные копии…";
        case core::Progress::Step::AddingBundles: return "Добавление файлов перевода…";
        case core::Progress::Step::Patching: return countOf("Патч", progress);
        case core::Progress::Step::Restoring: return countOf("Восстановление", progress);
        case core::Progress::Step::RemovingBundles: return "Удаление файлов перевода…";
        case core::Progress::Step::Verifying: return "Проверка результата…";
    }
    return "Работаю…";
}

int progressPercent(const core::Progress& progress) {
    if (progress.total == 0) return 0;
    if (progress.done >= progress.total) return 100;
    // Rounded down, so that 100 % means finished; in two steps, so that no product overflows.
    const std::uint64_t whole = progress.done / progress.total * 100;
    const long double part = static_cast<long double>(progress.done % progress.total) * 100 /
                             static_cast<long double>(progress.total);
    return static_cast<int>(whole + static_cast<std::uint64_t>(part));
}

std::string remainingText(seconds remaining) {
    const long long left = remaining.count();
    if (left <= 5) return "осталось несколько секунд";
    // Rounded up, to five seconds under a minute and to whole minutes above: an estimate, not a
    // count. No-break spaces keep a number with its unit.
    if (const long long rounded = (left + 4) / 5 * 5; rounded < 60) return "осталось около " + std::to_string(rounded) + "\u00a0с";
    return "осталось около " + std::to_string((left + 59) / 60) + "\u00a0мин";
}

std::string progressLineText(const core::Progress& progress, std::optional<seconds> remaining) {
    // A no-break space between the number and the sign, as Russian text sets it.
    std::string text = progressStepText(progress) + " " + std::to_string(progressPercent(progress)) + "\u00a0%";
    if (remaining) text += ", " + remainingText(*remaining);
    return text;
}

std::optional<seconds> ProgressEstimate::remaining(const core::Progress& progress, Clock::time_point now) const {
    const auto elapsed = now - start_;
    if (elapsed < kFirstEstimateAfter || progress.done >= progress.total ||
        progressPercent(progress) < kFirstEstimateAtPercent)
        return std::nullopt;
    const long double perByte = std::chrono::duration<long double>(elapsed).count() / static_cast<long double>(progress.done);
    const long double left = perByte * static_cast<long double>(progress.total - progress.done);
    return seconds(static_cast<long long>(left + 0.5L));
}

}  // namespace morra
