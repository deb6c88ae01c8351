// Reading a whole file with the system's own error.
#pragma once

#include <string>

#include "base/result.h"

namespace velmora::io {

// The file's bytes. On failure Code() is the errno and Error() "<path>: <system's reason>".
TResult<std::string> ReadWholeFile(const std::string& path);

}  // namespace velmora::io
