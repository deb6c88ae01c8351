// Reading a whole file with the system's own error.
#pragma once

#include <cstddef>
#include <string>

#include "base/result.h"

namespace velmora::io {

// Far above 10 000 URLs of 2 KB each, far below what would exhaust memory.
inline constexpr size_t kMaxInputFileBytes = size_t{64} << 20;

// The file's bytes, read to its end (a device or a pipe too), never more than maxBytes: a longer
// file fails with Code() EFBIG. On failure Code() is the errno and Error() "<path>: <system's
// reason>".
TResult<std::string> ReadWholeFile(const std::string& path, size_t maxBytes = kMaxInputFileBytes);

}  // namespace velmora::io
