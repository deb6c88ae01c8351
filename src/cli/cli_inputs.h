// Checks of velmora-cli's inputs and outputs made before the first request, so that no quota is
// spent on a run whose results could not be kept.
#pragma once

#include <string>

#include "base/result.h"
#include "cli/cli_options.h"

namespace velmora::cli {

// The environment variable that may hold the API key.
inline constexpr const char* kApiKeyVariable = "VELMORA_API_KEY";

// The key to use: --key, else the first line of --key-file (blanks around it removed), else
// $VELMORA_API_KEY, else settingsKey. Fails when the key file cannot be read or holds no key.
TResult<std::string> ChooseApiKey(const TCliOptions& o, const std::string& settingsKey);

// Fails, with the reason, when an output is also an input (URL file, sitemap, settings file,
// key file) or the other output, compared after resolving symbolic links and hard links, or
// when an output cannot be created now.
TResult<> CheckOutputs(const TCliOptions& o, const std::string& iniPath);

}  // namespace velmora::cli
