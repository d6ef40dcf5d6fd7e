// Where a file's bytes go, in order.
#pragma once

#include <cstddef>

namespace velmora::jpeg {

// Where the file goes, in order, from the calling thread only.
class ByteSink {
  public:
    virtual ~ByteSink() = default;
    virtual bool write(const unsigned char* data, std::size_t size) = 0;
};

} // namespace velmora::jpeg
