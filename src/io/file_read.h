// Reading a whole file with the system's own error.
#pragma once

#include <optional>
#include <string>

namespace velmora::io {

// The file's bytes; an empty optional with errno set when it cannot be opened or read.
std::optional<std::string> ReadWholeFile(const std::string& path);

}  // namespace velmora::io
