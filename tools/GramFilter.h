#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

namespace morra::tools {

// Which 8-byte strings occur somewhere in a text, with false positives but never a false negative:
// one bit per hash of each 8-byte window of the text, about 8 bits per text byte (about one in
// nine absent strings passes). A search can skip places whose next 8 bytes occur nowhere.
class GramFilter {
public:
    static constexpr std::size_t kGram = 8;

    explicit GramFilter(std::string_view text) {
        const std::size_t windows = text.size() >= kGram ? text.size() - kGram + 1 : 0;
        shift_ = 64 - std::max(6, static_cast<int>(std::bit_width(windows * 8)));
        bits_.reset(new std::uint64_t[(std::size_t{1} << (64 - shift_)) / 64]());
        const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
        for (std::size_t p = 0; p < windows; ++p) {
            const std::uint64_t slot = hash(bytes + p);
            bits_[slot / 64] |= std::uint64_t{1} << (slot % 64);
        }
    }

    // False when the 8 bytes at `gram` occur nowhere in the text.
    bool mayOccur(const unsigned char* gram) const {
        const std::uint64_t slot = hash(gram);
        return (bits_[slot / 64] >> (slot % 64)) & 1;
    }

private:
    std::uint64_t hash(const unsigned char* gram) const {
        std::uint64_t value;
        std::memcpy(&value, gram, kGram);
        return (value * 0x9e3779b97f4a7c15ULL) >> shift_;
    }

    int shift_ = 0;
    std::unique_ptr<std::uint64_t[]> bits_;
};

}  // namespace morra::tools
