// Writing a whole buffer to a file descriptor.
#pragma once

#include <string_view>

namespace velmora {

// Writes all of data, retrying short writes and interruptions. Returns 0, or the errno of
// the failure (EIO when the system wrote nothing without saying why).
int WriteAll(int fd, std::string_view data);

}  // namespace velmora
