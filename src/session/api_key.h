// The choice of the API key among the places a user may keep it.
#pragma once

#include <optional>
#include <string>

#include "base/result.h"

namespace velmora::session {

// The environment variable that may hold the API key.
inline constexpr const char* kApiKeyVariable = "VELMORA_API_KEY";

struct TKeySources {
    std::optional<std::string> Key;  // given on the command line
    std::string KeyFile;             // its first line holds the key
};

// The key to use: sources.Key, else the first line of sources.KeyFile (blanks around it
// removed), else $VELMORA_API_KEY, else settingsKey. Fails when the key file cannot be read or
// holds no key.
TResult<std::string> ChooseApiKey(const TKeySources& sources, const std::string& settingsKey);

}  // namespace velmora::session
