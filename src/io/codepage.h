// 8-bit code pages for text files and the CSV export. Linux has no system "ANSI code page",
// so the interface language picks the one Windows would use for it.
#pragma once

#include <string>
#include <string_view>

namespace velmora::io {

inline constexpr const char* kCodePageCyrillic = "WINDOWS-1251";
inline constexpr const char* kCodePageWestern = "WINDOWS-1252";

// "WINDOWS-1251" for the interface language "ru" (any letter case), else "WINDOWS-1252".
std::string AnsiCodePageFor(std::string_view langCode);

// Converts UTF-8 text to the code page (an iconv name). Every character the code page cannot
// hold, and every malformed byte, becomes one "?". Never fails: an unknown code page keeps
// ASCII and turns everything else into "?".
std::string Utf8ToCodePage(std::string_view utf8, const std::string& codepage);

// Decodes 8-bit text to UTF-8. Bytes the code page leaves undefined become U+FFFD. An unknown
// code page keeps ASCII and turns other bytes into U+FFFD.
std::string CodePageToUtf8(std::string_view bytes, const std::string& codepage);

// Decodes UTF-16 (without its byte-order mark) to UTF-8; malformed units become U+FFFD.
std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian);

// Reusable UTF-8 to code page converter for many small pieces (one CSV line at a time).
class TCodePageEncoder {
  public:
    explicit TCodePageEncoder(const std::string& codepage);
    ~TCodePageEncoder();
    TCodePageEncoder(const TCodePageEncoder&) = delete;
    TCodePageEncoder& operator=(const TCodePageEncoder&) = delete;

    // Same rules as Utf8ToCodePage; the result replaces out's contents. False when a "?"
    // stands for something the code page could not hold.
    bool Encode(std::string_view utf8, std::string& out);

  private:
    void* FHandle;  // iconv_t, or (iconv_t)-1 when the code page is unknown
};

}  // namespace velmora::io
