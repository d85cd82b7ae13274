#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "bsdiff/BzipStream.h"

namespace morra::bsdiff {

// Decodes one of a patch's data streams (diff or extra) in the lengths that the control entries
// ask for, in order, and hands the bytes over in pieces. With `parallel`, a worker thread decodes
// ahead into a few fixed buffers while the consumer uses earlier ones; otherwise decoding happens
// inside take(). Either way each request is decoded by reads that end where the request ends, so
// a damaged stream is refused exactly where the tool refuses it.
class StreamReadAhead {
public:
    StreamReadAhead(BsdiffInput& patch, std::uint64_t offset, bool parallel);
    ~StreamReadAhead();
    StreamReadAhead(const StreamReadAhead&) = delete;
    StreamReadAhead& operator=(const StreamReadAhead&) = delete;

    // Asks for the next `length` bytes of the stream.
    void request(std::uint64_t length);
    // No more requests will come.
    void endRequests();
    // The next piece of the requested bytes, at most maxSize long. It stays valid (and may be
    // changed in place) until the next call. Throws BsdiffError when the stream is damaged.
    std::span<unsigned char> take(std::size_t maxSize);

private:
    struct Filled {
        std::size_t buffer;
        std::size_t size;
    };

    void collect(std::vector<unsigned>& pieces);
    std::size_t decode(std::size_t buffer, const std::vector<unsigned>& pieces);
    void nextBuffer();
    void decodeOnCallersThread();
    void run();

    BzipStream stream_;
    bool parallel_;
    std::vector<std::vector<unsigned char>> buffers_;

    // Shared with the worker, under mutex_.
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

}  // namespace morra::bsdiff
