#include "bsdiff/StreamReadAhead.h"

#include <algorithm>
#include <system_error>

namespace morra::bsdiff {

namespace {
constexpr std::size_t kBufferSize = 1 << 20;
constexpr std::size_t kBuffersPerStream = 4;
}  // namespace

StreamReadAhead::StreamReadAhead(BsdiffInput& patch, std::uint64_t offset, bool parallel)
    : stream_(patch, offset), parallel_(parallel) {
    buffers_.resize(parallel_ ? kBuffersPerStream : 1);
    for (std::size_t i = 0; i < buffers_.size(); ++i) free_.push_back(i);
    if (!parallel_) return;
    try {
        worker_ = std::thread([this] { run(); });
    } catch (const std::system_error&) {
        parallel_ = false;  // no thread to be had: decode on the caller's thread
        buffers_.resize(1);
        free_.assign(1, 0);
    }
}

StreamReadAhead::~StreamReadAhead() {
    if (!parallel_) return;
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    workerWake_.notify_all();
    worker_.join();
}

void StreamReadAhead::request(std::uint64_t length) {
    if (length == 0) return;
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(length);
    }
    workerWake_.notify_one();
}

void StreamReadAhead::endRequests() {
    {
        std::lock_guard lock(mutex_);
        ended_ = true;
    }
    workerWake_.notify_one();
}

std::span<unsigned char> StreamReadAhead::take(std::size_t maxSize) {
    if (currentOffset_ == currentSize_) nextBuffer();
    const std::size_t count = std::min(maxSize, currentSize_ - currentOffset_);
    std::span<unsigned char> piece(buffers_[current_].data() + currentOffset_, count);
    currentOffset_ += count;
    return piece;
}

// Moves the requested lengths that fit into one buffer from the queue into `pieces`.
void StreamReadAhead::collect(std::vector<unsigned>& pieces) {
    std::size_t room = kBufferSize;
    while (room > 0 && !requests_.empty()) {
        const std::uint64_t piece = std::min<std::uint64_t>(room, requests_.front());
        pieces.push_back(static_cast<unsigned>(piece));
        room -= static_cast<std::size_t>(piece);
        if ((requests_.front() -= piece) == 0) requests_.pop_front();
    }
}

std::size_t StreamReadAhead::decode(std::size_t buffer, const std::vector<unsigned>& pieces) {
    std::vector<unsigned char>& bytes = buffers_[buffer];
    if (bytes.empty()) bytes.resize(kBufferSize);
    std::size_t size = 0;
    for (unsigned piece : pieces) {
        if (!stream_.read(bytes.data() + size, piece)) throwCorruptPatch();
        size += piece;
    }
    return size;
}

void StreamReadAhead::decodeOnCallersThread() {
    std::vector<unsigned> pieces;
    collect(pieces);
    if (pieces.empty()) throwCorruptPatch();  // more bytes taken than requested: cannot happen
    current_ = 0;
    currentSize_ = decode(0, pieces);
    currentOffset_ = 0;
}

void StreamReadAhead::nextBuffer() {
    if (!parallel_) {
        decodeOnCallersThread();
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
        throwCorruptPatch();  // the worker finished without the bytes: cannot happen
    }
    current_ = filled_.front().buffer;
    currentSize_ = filled_.front().size;
    currentOffset_ = 0;
    filled_.pop_front();
    holding_ = true;
}

// The worker: takes a free buffer and the requests that fit into it, decodes them outside the
// lock, hands the buffer over, and stops at the end of the requests, on a failure or when asked.
void StreamReadAhead::run() {
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

}  // namespace morra::bsdiff
