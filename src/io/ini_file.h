// INI file read and written one value at a time, with the matching rules of the Windows
// profile functions, so a settings file written or hand-edited for those reads the same here.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/result.h"

namespace velmora::io {

// Message pattern of a failed write; %s is the file's path.
inline constexpr const char* kMsgUnableToWrite = "Не удалось записать в %s";

class TIniFile {
  public:
    // Longest value returned, in characters; longer values are cut.
    static constexpr size_t kMaxValueLength = 2047;

    explicit TIniFile(std::string path) : FPath(std::move(path)) {}
    const std::string& Path() const { return FPath; }

    // Value of the first matching key of the first matching section (names compared without
    // regard to ASCII case; spaces around names, "=" and values ignored), or nothing when the
    // file, the section or the key is missing.
    std::optional<std::string> ReadString(std::string_view section, std::string_view key) const;

    // Replaces the key's line in place or appends it to its section, creating the section and
    // the file when missing; every other line stays byte for byte. The file is replaced
    // atomically and always has mode 0600 (it holds the API key). On failure the file stays
    // as it was and Error() is "Unable to write to <path>" (translated).
    TResult<> WriteString(std::string_view section, std::string_view key, std::string_view value);
    // Several keys of one section in one atomic replacement, in the order given.
    TResult<> WriteStrings(std::string_view section,
                           const std::vector<std::pair<std::string, std::string>>& values);

  private:
    std::string FPath;
};

}  // namespace velmora::io
