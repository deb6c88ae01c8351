#include "io/codepage.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>

#include "base/text.h"
#include "base/utf8.h"

namespace velmora::io {

namespace {

const iconv_t kNoIconv = reinterpret_cast<iconv_t>(-1);
constexpr std::string_view kReplacementChar = "\xEF\xBF\xBD";

bool IsAscii(std::string_view s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

// Runs iconv over the whole input; onBad(in, left) is called at every byte sequence iconv
// refuses and returns how many input bytes to skip, having appended its replacement to out.
template <typename OnBad>
void RunIconv(iconv_t cd, std::string_view in, std::string& out, OnBad onBad) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    out.clear();
    out.resize(in.size() + 16);
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    size_t used = 0;
    while (srcLeft > 0) {
        char* dst = out.data() + used;
        size_t dstLeft = out.size() - used;
        size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        used = out.size() - dstLeft;
        if (rc != static_cast<size_t>(-1)) break;
        if (errno == E2BIG) {
            out.resize(out.size() * 2 + 16);
            continue;
        }
        // EILSEQ or EINVAL: an unconvertible or malformed (possibly truncated) sequence.
        out.resize(used);
        size_t skip = onBad(std::string_view(src, srcLeft), out);
        src += skip;
        srcLeft -= skip;
        used = out.size();
        out.resize(used + srcLeft + 16);
    }
    // Flush any shift state; the 8-bit targets have none, but stateful ones would.
    char* dst = out.data() + used;
    size_t dstLeft = out.size() - used;
    if (dstLeft < 16) {
        out.resize(used + 16);
        dst = out.data() + used;
        dstLeft = 16;
    }
    iconv(cd, nullptr, nullptr, &dst, &dstLeft);
    out.resize(out.size() - dstLeft);
}

bool EncodeFallback(std::string_view utf8, std::string& out) {
    out.clear();
    bool whole = true;
    for (size_t i = 0; i < utf8.size();) {
        const size_t len = DecodeUtf8At(utf8, i).Length;
        if (len == 1) {
            out += utf8[i];
        } else {
            out += '?';
            whole = false;
        }
        i += len ? len : 1;
    }
    return whole;
}

}  // namespace

std::string AnsiCodePageFor(std::string_view langCode) {
    return AsciiLower(langCode) == "ru" ? kCodePageCyrillic : kCodePageWestern;
}

TCodePageEncoder::TCodePageEncoder(const std::string& codepage)
    : FHandle(iconv_open(codepage.c_str(), "UTF-8")) {}

TCodePageEncoder::~TCodePageEncoder() {
    if (static_cast<iconv_t>(FHandle) != kNoIconv) iconv_close(static_cast<iconv_t>(FHandle));
}

bool TCodePageEncoder::Encode(std::string_view utf8, std::string& out) {
    auto cd = static_cast<iconv_t>(FHandle);
    if (IsAscii(utf8)) {
        out.assign(utf8);
        return true;
    }
    if (cd == kNoIconv) return EncodeFallback(utf8, out);
    bool whole = true;
    RunIconv(cd, utf8, out, [&whole](std::string_view rest, std::string& o) {
        o += '?';
        whole = false;
        const size_t len = DecodeUtf8At(rest, 0).Length;
        return len ? len : size_t{1};
    });
    return whole;
}

std::string Utf8ToCodePage(std::string_view utf8, const std::string& codepage) {
    std::string out;
    TCodePageEncoder(codepage).Encode(utf8, out);
    return out;
}

std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian) {
    std::string out;
    iconv_t cd = iconv_open("UTF-8", bigEndian ? "UTF-16BE" : "UTF-16LE");
    if (cd == kNoIconv) return out;
    RunIconv(cd, bytes, out, [](std::string_view rest, std::string& o) {
        o += kReplacementChar;
        return std::min<size_t>(2, rest.size());
    });
    iconv_close(cd);
    return out;
}

std::string CodePageToUtf8(std::string_view bytes, const std::string& codepage) {
    std::string out;
    if (IsAscii(bytes)) return std::string(bytes);
    iconv_t cd = iconv_open("UTF-8", codepage.c_str());
    if (cd == kNoIconv) {
        for (char c : bytes) {
            if (static_cast<unsigned char>(c) < 0x80) {
                out += c;
            } else {
                out += kReplacementChar;
            }
        }
        return out;
    }
    RunIconv(cd, bytes, out, [](std::string_view, std::string& o) {
        o += kReplacementChar;
        return size_t{1};
    });
    iconv_close(cd);
    return out;
}

}  // namespace velmora::io
