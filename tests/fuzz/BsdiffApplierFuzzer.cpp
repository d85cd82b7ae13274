// libFuzzer target for the bsdiff applier. Each input is an old file and a raw patch or one built
// from a description: controls (hostile values included), bzip2 blocks, header fields, a damage.
// Checks: no crash or out-of-bounds read (the sanitizers watch), the size returned is the size
// written and the header's, and both decoding modes agree (BsdiffApplierTest compares with bspatch).
#include <bzlib.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "bsdiff/BsdiffApplier.h"
#include "RawBsdiffPatch.h"
#include "bsdiff/SignMagnitude.h"

namespace {

constexpr std::size_t kKeptBytes = 1 << 22;

struct Reader {
    std::uint8_t byte() { return position < size ? data[position++] : 0; }
    std::uint16_t word() { return static_cast<std::uint16_t>(byte() | byte() << 8); }
    std::string bytes(std::size_t count) {
        count = std::min(count, size - position);
        std::string out(reinterpret_cast<const char*>(data + position), count);
        position += count;
        return out;
    }

    const std::uint8_t* data;
    std::size_t size, position = 0;
};

// Block size 1: a fuzzer's inputs are small, and a larger block costs most of each run.
std::string compress(const std::string& data) {
    std::vector<char> out(data.size() + data.size() / 100 + 1024);
    unsigned length = static_cast<unsigned>(out.size());
    if (BZ2_bzBuffToBuffCompress(out.data(), &length, const_cast<char*>(data.data()), static_cast<unsigned>(data.size()), 1, 0,
                                 30) != BZ_OK)
        std::abort();
    return std::string(out.data(), length);
}

std::int64_t hostile(Reader& input, std::int64_t ordinary) {
    static const std::int64_t kValues[] = {0, -1, 1, INT_MAX, std::int64_t{INT_MAX} + 1, INT64_MAX, -INT64_MAX,
                                           INT64_MAX - 32, std::int64_t{1} << 32, std::int64_t{1} << 40};
    const std::uint8_t choice = input.byte();
    return choice < 200 ? ordinary : kValues[choice % (sizeof kValues / sizeof kValues[0])];
}

std::string describedPatch(Reader& input) {
    std::vector<morra::test::RawControl> controls(input.byte() % 12);
    std::int64_t diffBytes = 0, extraBytes = 0;
    for (morra::test::RawControl& control : controls) {
        control.add = hostile(input, input.word() % 3000);
        control.copy = hostile(input, input.word() % 600);
        control.seek = hostile(input, static_cast<std::int16_t>(input.word()));
        if (control.add > 0 && control.add < 100000) diffBytes += control.add;
        if (control.copy > 0 && control.copy < 100000) extraBytes += control.copy;
    }
    const std::int64_t newSize = hostile(input, diffBytes + extraBytes + (input.byte() % 5 == 0 ? static_cast<std::int8_t>(input.byte()) : 0));

    // Block contents: a short pattern from the input, repeated (sometimes a little too short).
    auto block = [&](std::int64_t length) {
        if (input.byte() % 8 == 0) length -= input.byte() % 16;
        const std::string pattern = input.bytes(1 + input.byte() % 32);
        std::string bytes;
        for (std::int64_t i = 0; i < length; ++i) bytes.push_back(pattern.empty() ? '\0' : pattern[static_cast<std::size_t>(i) % pattern.size()]);
        return bytes;
    };
    const std::string control = compress(morra::test::controlBlock(controls));
    const std::string diff = compress(block(diffBytes)), extra = compress(block(extraBytes));
    const std::int64_t controlLength = hostile(input, static_cast<std::int64_t>(control.size()));
    const std::int64_t diffLength = hostile(input, static_cast<std::int64_t>(diff.size()));
    std::string patch = morra::test::assemblePatch(control, diff, extra, newSize, controlLength, diffLength);

    // A final damage: a byte changed, the patch cut, or bytes added (or none of these).
    const std::uint8_t damage = input.byte() % 6;
    if (damage == 0 && !patch.empty())
        patch[input.word() % patch.size()] ^= static_cast<char>(1 + input.byte() % 255);
    if (damage == 1) patch.resize(input.word() % (patch.size() + 1));
    if (damage == 2) patch += input.bytes(input.byte());
    return patch;
}

// What the applier wrote (up to a bound, then only its size), or the refusal's text.
class Collect : public morra::bsdiff::BsdiffOutput {
public:
    void write(const unsigned char* data, std::size_t size) override {
        total += size;
        if (bytes.size() + size <= kKeptBytes) bytes.append(reinterpret_cast<const char*>(data), size);
    }
    std::string bytes;
    std::uint64_t total = 0;
};

std::string outcome(const std::string& oldData, const std::string& patch, bool parallel) {
    morra::bsdiff::MemoryBsdiffInput oldInput(oldData), patchInput(patch);
    Collect output;
    try {
        const std::uint64_t size = morra::bsdiff::applyBsdiff(oldInput, patchInput, output, morra::bsdiff::BsdiffOptions{parallel});
        const auto* header = reinterpret_cast<const unsigned char*>(patch.data());
        if (size != output.total || static_cast<std::int64_t>(size) != morra::bsdiff::decodeOffset(header + 24)) std::abort();
        return std::to_string(size) + ":" + output.bytes;
    } catch (const morra::bsdiff::BsdiffError& error) {
        return std::string("refused: ") + error.what();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Reader input{data, size};
    const std::uint8_t flags = input.byte();
    const std::string oldData = input.bytes(input.word() % 8192);
    const std::string patch = (flags & 1) ? describedPatch(input) : input.bytes(size);
    const std::string inlineMode = outcome(oldData, patch, false);
    if ((flags & 2) && outcome(oldData, patch, true) != inlineMode) std::abort();
    return 0;
}
