// The translation hook and the format of log lines, shared by every layer that writes texts.
#pragma once

#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <string>

namespace velmora {

// Translation of a message pattern; installed by the front end, identity by default.
// Must be callable from any thread.
using TTranslateFn = std::string (*)(const char* msgid);
void SetTranslator(TTranslateFn fn);
std::string Tr(const char* msgid);

// Pattern "…%d…%s…" filled with a task number and optional text; only %d, %s and %% are known.
std::string FormatLog(const std::string& pattern, int32_t num, const std::string& text = {});

// The same for several values: each %d or %s takes the next of args, in order.
std::string FormatLog(const std::string& pattern, std::initializer_list<std::string> args);

// "hh:mm:ss" in local time, the time column of the log.
std::string FormatLogTime(std::chrono::system_clock::time_point t);

}  // namespace velmora
