#include "bsdiff/BsdiffApplier.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <deque>

#include "bsdiff/SignMagnitude.h"
#include "bsdiff/StreamReadAhead.h"

// The BSDIFF40 format:
//
//   offset  length  content
//   0       8       "BSDIFF40"
//   8       8       X, length of the compressed control block
//   16      8       Y, length of the compressed diff block
//   24      8       size of the new file
//   32      X       bzip2(control block)
//   32+X    Y       bzip2(diff block)
//   32+X+Y  rest    bzip2(extra block)
//
// Numbers are 8 bytes, little-endian sign and magnitude. The control block is a series of triples
// (add, copy, seek): `add` bytes of the diff block are added bytewise to the old file's bytes at
// the old position, then `copy` bytes are taken from the extra block, then the old position moves
// by `seek`.
//
// The rules below are those of the bspatch tool, so that both accept and refuse the same patches:
// each compressed block is read as one bzip2 stream from its offset to the end of the patch (the
// header's lengths only place the blocks), reads go through the semantics of BZ2_bzRead, and the
// numeric checks are the tool's. Where the tool reads outside the old file at a negative position
// (undefined behaviour there), such bytes count as absent, as they do past the old file's end.

namespace morra::bsdiff {

namespace {

constexpr std::size_t kChunkSize = 1 << 20;  // bytes handed to the output at a time
constexpr std::size_t kPlanAhead = 256;      // control entries read ahead of the output

struct Header {
    std::int64_t controlLength;
    std::int64_t diffLength;
    std::int64_t newSize;
};

struct ControlEntry {
    std::uint64_t add;
    std::uint64_t copy;
    std::int64_t seek;
};

// The tool's checked addition: an overflow makes the patch corrupt.
std::int64_t checkedAdd(std::int64_t a, std::int64_t b) {
    std::int64_t result;
    if (__builtin_add_overflow(a, b, &result)) throwCorruptPatch();
    return result;
}

// Reads until `size` bytes are in or the input ends; returns the count.
std::size_t readFully(BsdiffInput& input, std::uint64_t offset, unsigned char* buffer, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const std::size_t count = input.readAt(offset + done, buffer + done, size - done);
        if (count == 0) break;
        done += count;
    }
    return done;
}

std::optional<Header> parseHeader(const unsigned char* bytes) {
    if (std::memcmp(bytes, "BSDIFF40", 8) != 0) return std::nullopt;
    const Header header{decodeOffset(bytes + 8), decodeOffset(bytes + 16), decodeOffset(bytes + 24)};
    constexpr std::int64_t kMax = INT64_MAX;
    constexpr std::int64_t kHeader = static_cast<std::int64_t>(kBsdiffHeaderSize);
    if (header.controlLength < 0 || header.controlLength > kMax - kHeader || header.diffLength < 0 ||
        header.controlLength + kHeader > kMax - header.diffLength || header.newSize < 0)
        return std::nullopt;
    return header;
}

// target[i] += source[i] (modulo 256), eight bytes at a time: the low seven bits of each byte are
// added without a carry into the next byte, and the top bit is the exclusive or of both top bits
// and that carry.
void addBytewise(unsigned char* target, const unsigned char* source, std::size_t size) {
    constexpr std::uint64_t kLow = 0x7f7f7f7f7f7f7f7fULL;
    std::size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        std::uint64_t a, b;
        std::memcpy(&a, target + i, 8);
        std::memcpy(&b, source + i, 8);
        const std::uint64_t sum = ((a & kLow) + (b & kLow)) ^ ((a ^ b) & ~kLow);
        std::memcpy(target + i, &sum, 8);
    }
    for (; i < size; ++i) target[i] = static_cast<unsigned char>(target[i] + source[i]);
}

// The control entries, read and checked ahead of the output exactly as far as the tool reads
// them; their lengths are passed on to the data streams as requests, so that those can decode
// ahead too.
class ControlPlan {
public:
    ControlPlan(BsdiffInput& patch, std::int64_t newSize, StreamReadAhead& diff, StreamReadAhead& extra)
        : control_(patch, kBsdiffHeaderSize), newSize_(newSize), diff_(diff), extra_(extra) {}

    std::optional<ControlEntry> next() {
        if (entries_.size() < kPlanAhead / 2) refill();
        if (entries_.empty()) return std::nullopt;
        const ControlEntry entry = entries_.front();
        entries_.pop_front();
        return entry;
    }

private:
    void refill() {
        while (!complete_ && entries_.size() < kPlanAhead) {
            if (newPosition_ >= newSize_) {
                complete_ = true;
                diff_.endRequests();
                extra_.endRequests();
                return;
            }
            std::int64_t values[3];
            for (std::int64_t& value : values) {
                unsigned char bytes[8];
                if (!control_.read(bytes, 8)) throwCorruptPatch();
                value = decodeOffset(bytes);
            }
            const std::int64_t add = values[0], copy = values[1], seek = values[2];
            if (add < 0 || add > INT_MAX || copy < 0 || copy > INT_MAX) throwCorruptPatch();
            if (checkedAdd(newPosition_, add) > newSize_) throwCorruptPatch();
            newPosition_ += add;
            oldPosition_ = checkedAdd(oldPosition_, add);
            if (checkedAdd(newPosition_, copy) > newSize_) throwCorruptPatch();
            newPosition_ += copy;
            oldPosition_ = checkedAdd(oldPosition_, seek);
            diff_.request(static_cast<std::uint64_t>(add));
            extra_.request(static_cast<std::uint64_t>(copy));
            entries_.push_back({static_cast<std::uint64_t>(add), static_cast<std::uint64_t>(copy), seek});
        }
    }

    BzipStream control_;
    const std::int64_t newSize_;
    StreamReadAhead& diff_;
    StreamReadAhead& extra_;
    std::deque<ControlEntry> entries_;
    std::int64_t newPosition_ = 0;
    std::int64_t oldPosition_ = 0;
    bool complete_ = false;
};

// The new bytes of one control entry's `add` part: diff bytes plus the old bytes under them.
class DiffAdder {
public:
    DiffAdder(BsdiffInput& oldData, StreamReadAhead& diff, BsdiffOutput& output)
        : oldData_(oldData),
          oldSize_(static_cast<std::int64_t>(std::min<std::uint64_t>(oldData.size(), INT64_MAX))),
          diff_(diff),
          output_(output) {}

    void add(std::uint64_t length) {
        for (std::uint64_t remaining = length; remaining > 0;) {
            std::span<unsigned char> piece = diff_.take(static_cast<std::size_t>(std::min<std::uint64_t>(remaining, kChunkSize)));
            const std::int64_t count = static_cast<std::int64_t>(piece.size());
            // The part of [position, position + count) that lies inside the old file.
            const std::int64_t from = std::max<std::int64_t>(position_, 0);
            const std::int64_t to = std::min<std::int64_t>(position_ + count, oldSize_);
            if (from < to) {
                const std::size_t size = static_cast<std::size_t>(to - from);
                if (oldBytes_.size() < size) oldBytes_.resize(kChunkSize);
                if (readFully(oldData_, static_cast<std::uint64_t>(from), oldBytes_.data(), size) != size)
                    throw BsdiffError("bspatch: the old file ended early\n");
                addBytewise(piece.data() + (from - position_), oldBytes_.data(), size);
            }
            output_.write(piece.data(), piece.size());
            position_ += count;
            remaining -= piece.size();
        }
    }

    void seek(std::int64_t offset) { position_ += offset; }

private:
    BsdiffInput& oldData_;
    const std::int64_t oldSize_;
    StreamReadAhead& diff_;
    BsdiffOutput& output_;
    std::vector<unsigned char> oldBytes_;
    std::int64_t position_ = 0;
};

void copyExtra(StreamReadAhead& extra, BsdiffOutput& output, std::uint64_t length) {
    for (std::uint64_t remaining = length; remaining > 0;) {
        std::span<unsigned char> piece = extra.take(static_cast<std::size_t>(std::min<std::uint64_t>(remaining, kChunkSize)));
        output.write(piece.data(), piece.size());
        remaining -= piece.size();
    }
}

}  // namespace

void throwCorruptPatch() { throw BsdiffError(kCorruptPatchText); }

std::size_t MemoryBsdiffInput::readAt(std::uint64_t offset, void* buffer, std::size_t size) {
    if (offset >= bytes_.size()) return 0;
    const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(size, bytes_.size() - offset));
    std::memcpy(buffer, bytes_.data() + offset, count);
    return count;
}

std::optional<std::uint64_t> bsdiffNewSize(const unsigned char (&header)[kBsdiffHeaderSize]) {
    const std::optional<Header> parsed = parseHeader(header);
    if (!parsed) return std::nullopt;
    return static_cast<std::uint64_t>(parsed->newSize);
}

std::uint64_t applyBsdiff(BsdiffInput& oldData, BsdiffInput& patch, BsdiffOutput& output, const BsdiffOptions& options) {
    unsigned char bytes[kBsdiffHeaderSize];
    if (readFully(patch, 0, bytes, kBsdiffHeaderSize) < kBsdiffHeaderSize) throwCorruptPatch();
    const std::optional<Header> header = parseHeader(bytes);
    if (!header) throwCorruptPatch();

    const std::uint64_t diffOffset = kBsdiffHeaderSize + static_cast<std::uint64_t>(header->controlLength);
    StreamReadAhead diff(patch, diffOffset, options.parallel);
    StreamReadAhead extra(patch, diffOffset + static_cast<std::uint64_t>(header->diffLength), options.parallel);
    ControlPlan plan(patch, header->newSize, diff, extra);
    DiffAdder adder(oldData, diff, output);
    while (const std::optional<ControlEntry> entry = plan.next()) {
        adder.add(entry->add);
        copyExtra(extra, output, entry->copy);
        adder.seek(entry->seek);
    }
    return static_cast<std::uint64_t>(header->newSize);
}

}  // namespace morra::bsdiff
