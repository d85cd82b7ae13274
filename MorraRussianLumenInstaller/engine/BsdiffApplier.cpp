#include "BsdiffApplier.h"

#include <bzlib.h>

#include <algorithm>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <span>
#include <system_error>
#include <thread>
#include <vector>

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

namespace morra {

namespace {

constexpr std::size_t kHeaderSize = 32;
constexpr std::size_t kChunkSize = 1 << 20;      // bytes handed to the output at a time
constexpr std::size_t kInputBufferSize = 1 << 16;  // compressed bytes read from the patch at a time
constexpr std::size_t kBuffersPerStream = 4;
constexpr std::size_t kPlanAhead = 256;            // control entries read ahead of the output

[[noreturn]] void corrupt() { throw BsdiffError(kCorruptPatchText); }

std::int64_t offtin(const unsigned char* bytes) {
    std::int64_t value = bytes[7] & 0x7f;
    for (int i = 6; i >= 0; --i) value = value * 256 + bytes[i];
    return (bytes[7] & 0x80) ? -value : value;
}

// The tool's checked addition: an overflow makes the patch corrupt.
std::int64_t checkedAdd(std::int64_t a, std::int64_t b) {
    std::int64_t result;
    if (__builtin_add_overflow(a, b, &result)) corrupt();
    return result;
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

// Reads until `size` bytes are in or the input ends; returns the count.
std::size_t readFully(BsdiffInput& input, std::uint64_t offset, unsigned char* buffer, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        std::size_t count = input.readAt(offset + done, buffer + done, size - done);
        if (count == 0) break;
        done += count;
    }
    return done;
}

// One bzip2 stream of the patch, from its offset to the end of the patch, read as BZ2_bzRead reads
// a stream opened on a FILE positioned there.
class BzipStream {
public:
    BzipStream(BsdiffInput& patch, std::uint64_t offset)
        : patch_(patch), position_(offset), end_(patch.size()), input_(kInputBufferSize) {
        int error = BZ2_bzDecompressInit(&stream_, 0, 0);
        if (error != BZ_OK) throw BsdiffError("bspatch: BZ2_bzReadOpen, bz2err = " + std::to_string(error) + "\n");
    }
    ~BzipStream() { BZ2_bzDecompressEnd(&stream_); }
    BzipStream(const BzipStream&) = delete;
    BzipStream& operator=(const BzipStream&) = delete;

    // Decompresses exactly `size` bytes. False when a BZ2_bzRead call of that length would fail or
    // return fewer bytes. Splitting one read into several consecutive reads gives the same answer:
    // the decoder is a resumable state machine, and the end of the last piece is where the single
    // read would have stopped.
    bool read(unsigned char* buffer, unsigned size) {
        if (size == 0) return true;
        if (failed_) return false;
        stream_.next_out = reinterpret_cast<char*>(buffer);
        stream_.avail_out = size;
        for (;;) {
            if (stream_.avail_in == 0 && position_ < end_) {
                const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(input_.size(), end_ - position_));
                const std::size_t count = patch_.readAt(position_, input_.data(), wanted);
                if (count == 0) {
                    end_ = position_;  // the patch is shorter than it was
                } else {
                    position_ += count;
                    stream_.next_in = input_.data();
                    stream_.avail_in = static_cast<unsigned>(count);
                }
            }
            const int result = BZ2_bzDecompress(&stream_);
            if (result != BZ_OK && result != BZ_STREAM_END) return fail();
            if (result == BZ_OK && position_ >= end_ && stream_.avail_in == 0 && stream_.avail_out > 0) return fail();
            if (result == BZ_STREAM_END) return stream_.avail_out == 0 || fail();
            if (stream_.avail_out == 0) return true;
        }
    }

private:
    bool fail() {
        failed_ = true;
        return false;
    }

    bz_stream stream_{};
    BsdiffInput& patch_;
    std::uint64_t position_;
    std::uint64_t end_;
    std::vector<char> input_;
    bool failed_ = false;
};

// Decodes one of the data streams (diff or extra) in the lengths that the control entries ask
// for, in order, and hands the bytes over in pieces. With `parallel`, a worker thread decodes
// ahead into a few fixed buffers while the consumer uses earlier ones; otherwise decoding happens
// inside take(). Either way each request is decoded by reads that end where the request ends.
class StreamPump {
public:
    StreamPump(BsdiffInput& patch, std::uint64_t offset, bool parallel) : stream_(patch, offset), parallel_(parallel) {
        buffers_.resize(parallel_ ? kBuffersPerStream : 1);
        for (std::size_t i = 0; i < buffers_.size(); ++i) free_.push_back(i);
        if (parallel_) {
            try {
                worker_ = std::thread([this] { run(); });
            } catch (const std::system_error&) {
                parallel_ = false;  // no thread to be had: decode on the caller's thread
                buffers_.resize(1);
                free_.assign(1, 0);
            }
        }
    }

    ~StreamPump() {
        if (parallel_) {
            {
                std::lock_guard lock(mutex_);
                stop_ = true;
            }
            workerWake_.notify_all();
            worker_.join();
        }
    }

    StreamPump(const StreamPump&) = delete;
    StreamPump& operator=(const StreamPump&) = delete;

    void request(std::uint64_t length) {
        if (length == 0) return;
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(length);
        }
        workerWake_.notify_one();
    }

    void endRequests() {
        {
            std::lock_guard lock(mutex_);
            ended_ = true;
        }
        workerWake_.notify_one();
    }

    // The next piece of the requested bytes, at most maxSize long. It stays valid (and may be
    // changed in place) until the next call.
    std::span<unsigned char> take(std::size_t maxSize) {
        if (currentOffset_ == currentSize_) nextBuffer();
        const std::size_t count = std::min(maxSize, currentSize_ - currentOffset_);
        std::span<unsigned char> piece(buffers_[current_].data() + currentOffset_, count);
        currentOffset_ += count;
        return piece;
    }

private:
    struct Filled {
        std::size_t buffer;
        std::size_t size;
    };

    // Moves the requested lengths that fit into one buffer from the queue into `pieces`.
    void collect(std::vector<unsigned>& pieces) {
        std::size_t room = kChunkSize;
        while (room > 0 && !requests_.empty()) {
            const std::uint64_t piece = std::min<std::uint64_t>(room, requests_.front());
            pieces.push_back(static_cast<unsigned>(piece));
            room -= static_cast<std::size_t>(piece);
            if ((requests_.front() -= piece) == 0) requests_.pop_front();
        }
    }

    std::size_t decode(std::size_t buffer, const std::vector<unsigned>& pieces) {
        std::vector<unsigned char>& bytes = buffers_[buffer];
        if (bytes.empty()) bytes.resize(kChunkSize);
        std::size_t size = 0;
        for (unsigned piece : pieces) {
            if (!stream_.read(bytes.data() + size, piece)) corrupt();
            size += piece;
        }
        return size;
    }

    void nextBuffer() {
        if (!parallel_) {
            std::vector<unsigned> pieces;
            collect(pieces);
            if (pieces.empty()) corrupt();  // more bytes taken than requested: cannot happen
            current_ = 0;
            currentSize_ = decode(0, pieces);
            currentOffset_ = 0;
            return;
        }
        std::unique_lock lock(mutex_);
        if (holding_) {
            free_.push_back(current_);
            holding_ = false;
            workerWake_.notify_one();
        }
        consumerWake_.wait(lock, [this] { return !filled_.empty() || error_ || workerDone_; });
        if (filled_.empty()) {
            if (error_) std::rethrow_exception(error_);
            corrupt();  // the worker finished without the bytes: cannot happen
        }
        current_ = filled_.front().buffer;
        currentSize_ = filled_.front().size;
        currentOffset_ = 0;
        filled_.pop_front();
        holding_ = true;
    }

    void run() {
        try {
            for (;;) {
                std::vector<unsigned> pieces;
                std::size_t buffer;
                {
                    std::unique_lock lock(mutex_);
                    workerWake_.wait(lock, [this] { return stop_ || (!free_.empty() && (!requests_.empty() || ended_)); });
                    if (stop_ || requests_.empty()) break;
                    buffer = free_.front();
                    free_.pop_front();
                    collect(pieces);
                }
                const std::size_t size = decode(buffer, pieces);
                {
                    std::lock_guard lock(mutex_);
                    filled_.push_back({buffer, size});
                }
                consumerWake_.notify_one();
            }
        } catch (...) {
            std::lock_guard lock(mutex_);
            error_ = std::current_exception();
        }
        {
            std::lock_guard lock(mutex_);
            workerDone_ = true;
        }
        consumerWake_.notify_one();
    }

    BzipStream stream_;
    bool parallel_;
    std::vector<std::vector<unsigned char>> buffers_;

    std::mutex mutex_;
    std::condition_variable workerWake_;
    std::condition_variable consumerWake_;
    std::deque<std::uint64_t> requests_;
    std::deque<std::size_t> free_;
    std::deque<Filled> filled_;
    std::exception_ptr error_;
    bool ended_ = false;
    bool stop_ = false;
    bool workerDone_ = false;
    std::thread worker_;

    // The consumer's side, touched by the consumer only.
    std::size_t current_ = 0;
    std::size_t currentSize_ = 0;
    std::size_t currentOffset_ = 0;
    bool holding_ = false;
};

struct ControlEntry {
    std::uint64_t add;
    std::uint64_t copy;
    std::int64_t seek;
};

}  // namespace

std::size_t MemoryBsdiffInput::readAt(std::uint64_t offset, void* buffer, std::size_t size) {
    if (offset >= bytes_.size()) return 0;
    const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(size, bytes_.size() - offset));
    std::memcpy(buffer, bytes_.data() + offset, count);
    return count;
}

std::uint64_t applyBsdiff(BsdiffInput& oldData, BsdiffInput& patch, BsdiffOutput& output, const BsdiffOptions& options) {
    unsigned char header[kHeaderSize];
    if (readFully(patch, 0, header, kHeaderSize) < kHeaderSize) corrupt();
    if (std::memcmp(header, "BSDIFF40", 8) != 0) corrupt();
    const std::int64_t controlLength = offtin(header + 8);
    const std::int64_t diffLength = offtin(header + 16);
    const std::int64_t newSize = offtin(header + 24);
    constexpr std::int64_t kMax = INT64_MAX;
    constexpr std::int64_t kHeader = static_cast<std::int64_t>(kHeaderSize);
    if (controlLength < 0 || controlLength > kMax - kHeader || diffLength < 0 ||
        controlLength + kHeader > kMax - diffLength || newSize < 0)
        corrupt();

    BzipStream control(patch, kHeaderSize);
    StreamPump diff(patch, kHeaderSize + static_cast<std::uint64_t>(controlLength), options.parallel);
    StreamPump extra(patch, kHeaderSize + static_cast<std::uint64_t>(controlLength) + static_cast<std::uint64_t>(diffLength),
                     options.parallel);

    // The control entries are read and checked ahead of the output, exactly as far as the tool
    // reads them; their lengths are passed on to the data streams as requests.
    std::deque<ControlEntry> plan;
    std::int64_t plannedNewPosition = 0;
    std::int64_t plannedOldPosition = 0;
    bool planned = false;
    auto planAhead = [&] {
        while (!planned && plan.size() < kPlanAhead) {
            if (plannedNewPosition >= newSize) {
                planned = true;
                diff.endRequests();
                extra.endRequests();
                break;
            }
            std::int64_t values[3];
            for (std::int64_t& value : values) {
                unsigned char bytes[8];
                if (!control.read(bytes, 8)) corrupt();
                value = offtin(bytes);
            }
            const std::int64_t add = values[0], copy = values[1], seek = values[2];
            if (add < 0 || add > INT_MAX || copy < 0 || copy > INT_MAX) corrupt();
            if (checkedAdd(plannedNewPosition, add) > newSize) corrupt();
            plannedNewPosition += add;
            plannedOldPosition = checkedAdd(plannedOldPosition, add);
            if (checkedAdd(plannedNewPosition, copy) > newSize) corrupt();
            plannedNewPosition += copy;
            plannedOldPosition = checkedAdd(plannedOldPosition, seek);
            diff.request(static_cast<std::uint64_t>(add));
            extra.request(static_cast<std::uint64_t>(copy));
            plan.push_back({static_cast<std::uint64_t>(add), static_cast<std::uint64_t>(copy), seek});
        }
    };

    const std::int64_t oldSize = static_cast<std::int64_t>(std::min<std::uint64_t>(oldData.size(), INT64_MAX));
    std::vector<unsigned char> oldBytes;
    std::int64_t oldPosition = 0;
    for (;;) {
        if (plan.size() < kPlanAhead / 2) planAhead();
        if (plan.empty()) break;
        const ControlEntry entry = plan.front();
        plan.pop_front();

        for (std::uint64_t remaining = entry.add; remaining > 0;) {
            std::span<unsigned char> piece = diff.take(static_cast<std::size_t>(std::min<std::uint64_t>(remaining, kChunkSize)));
            const std::int64_t count = static_cast<std::int64_t>(piece.size());
            // The part of [oldPosition, oldPosition + count) that lies inside the old file.
            const std::int64_t from = std::max<std::int64_t>(oldPosition, 0);
            const std::int64_t to = std::min<std::int64_t>(oldPosition + count, oldSize);
            if (from < to) {
                const std::size_t length = static_cast<std::size_t>(to - from);
                if (oldBytes.size() < length) oldBytes.resize(kChunkSize);
                if (readFully(oldData, static_cast<std::uint64_t>(from), oldBytes.data(), length) != length)
                    throw BsdiffError("bspatch: the old file ended early\n");
                addBytewise(piece.data() + (from - oldPosition), oldBytes.data(), length);
            }
            output.write(piece.data(), piece.size());
            oldPosition += count;
            remaining -= piece.size();
        }
        for (std::uint64_t remaining = entry.copy; remaining > 0;) {
            std::span<unsigned char> piece = extra.take(static_cast<std::size_t>(std::min<std::uint64_t>(remaining, kChunkSize)));
            output.write(piece.data(), piece.size());
            remaining -= piece.size();
        }
        oldPosition += entry.seek;
    }
    return static_cast<std::uint64_t>(newSize);
}

}  // namespace morra
