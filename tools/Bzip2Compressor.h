#pragma once

#include <bzlib.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace morra::tools {

// Streaming bzip2 compression with block size 9, as the patch format's three streams are written.
// Input arrives in pieces of any size; finish() ends the stream and hands over the bytes.
//
// bzip2 sorts each block with a fast algorithm that bogs down on very repetitive data, where it
// falls back to a slower but steady one. For data known to be mostly runs of one byte (a patch's
// difference stream), `repetitive` takes the steady one from the start, which is faster there;
// the compressed bytes are the same either way.
class Bzip2Compressor {
public:
    explicit Bzip2Compressor(bool repetitive = false);
    ~Bzip2Compressor();
    Bzip2Compressor(const Bzip2Compressor&) = delete;
    Bzip2Compressor& operator=(const Bzip2Compressor&) = delete;

    void add(const char* data, std::size_t size);
    void add(std::string_view data) { add(data.data(), data.size()); }
    std::string finish();

private:
    void pump(const char* data, std::size_t size, int action);

    bz_stream stream_{};
    std::string out_;
    bool finished_ = false;
};

// Compresses a whole byte string.
std::string bzip2Compress(std::string_view data);

}  // namespace morra::tools
