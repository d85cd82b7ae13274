#include "Bzip2Compressor.h"

#include <algorithm>
#include <stdexcept>

namespace morra::tools {

Bzip2Compressor::Bzip2Compressor(bool repetitive) {
    // A work factor of 1 gives the fast sort no budget at all; 0 is the library's default.
    if (BZ2_bzCompressInit(&stream_, 9, 0, repetitive ? 1 : 0) != BZ_OK) throw std::runtime_error("bzip2: cannot start compression");
}

Bzip2Compressor::~Bzip2Compressor() { BZ2_bzCompressEnd(&stream_); }

void Bzip2Compressor::add(const char* data, std::size_t size) {
    if (finished_) throw std::logic_error("bzip2: stream already finished");
    // avail_in is 32 bits wide.
    while (size > 0) {
        const std::size_t piece = std::min<std::size_t>(size, 1u << 30);
        pump(data, piece, BZ_RUN);
        data += piece;
        size -= piece;
    }
}

std::string Bzip2Compressor::finish() {
    if (!finished_) pump(nullptr, 0, BZ_FINISH);
    finished_ = true;
    return std::move(out_);
}

void Bzip2Compressor::pump(const char* data, std::size_t size, int action) {
    stream_.next_in = const_cast<char*>(data);
    stream_.avail_in = static_cast<unsigned>(size);
    char buffer[1 << 16];
    for (;;) {
        stream_.next_out = buffer;
        stream_.avail_out = sizeof buffer;
        const int result = BZ2_bzCompress(&stream_, action);
        if (result < 0) throw std::runtime_error("bzip2: compression failed");
        out_.append(buffer, sizeof buffer - stream_.avail_out);
        if (action == BZ_FINISH ? result == BZ_STREAM_END : stream_.avail_in == 0) break;
    }
}

std::string bzip2Compress(std::string_view data) {
    Bzip2Compressor compressor;
    compressor.add(data);
    return compressor.finish();
}

}  // namespace morra::tools
