// The GET URL builder and the query-part percent-encoder.
#include <algorithm>
#include <array>

#include "http/curl.h"

namespace velmora::http {
namespace {

constexpr std::array<bool, 256> MakeUnreserved() {
    std::array<bool, 256> t{};
    for (int c = 'A'; c <= 'Z'; ++c) t[c] = true;
    for (int c = 'a'; c <= 'z'; ++c) t[c] = true;
    for (int c = '0'; c <= '9'; ++c) t[c] = true;
    for (unsigned char c : std::string_view("!$()*,-./@[]_~")) t[c] = true;
    return t;
}
constexpr std::array<bool, 256> kUnreserved = MakeUnreserved();

bool Keeps(char c) {
    return kUnreserved[static_cast<unsigned char>(c)];
}

void AppendEncoded(std::string& out, std::string_view bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (char c : bytes) {
        if (Keeps(c)) {
            out.push_back(c);
        } else {
            const auto b = static_cast<unsigned char>(c);
            const char esc[3] = {'%', kHex[b >> 4], kHex[b & 0x0F]};
            out.append(esc, 3);
        }
    }
}

std::size_t EncodedSize(std::string_view bytes) {
    std::size_t n = bytes.size();
    for (char c : bytes) n += Keeps(c) ? 0 : 2;
    return n;
}

}  // namespace

class TCurlGetBuilder final : public ICurlGetBuilder {
  public:
    explicit TCurlGetBuilder(std::string_view baseUrl)
        : FUrl(baseUrl), FHasParam(baseUrl.find('?') != std::string_view::npos) {}

    ICurlGetBuilder& Param(std::string_view name, std::string_view value) override {
        const std::size_t need = FUrl.size() + 2 + EncodedSize(name) + EncodedSize(value);
        if (need > FUrl.capacity()) FUrl.reserve(std::max(need, 2 * FUrl.capacity()));
        FUrl.push_back(FHasParam ? '&' : '?');
        AppendEncoded(FUrl, name);
        FUrl.push_back('=');
        AppendEncoded(FUrl, value);
        FHasParam = true;
        return *this;
    }

    std::string Build() const override { return FUrl; }

  private:
    std::string FUrl;
    bool FHasParam;
};

std::string EncodeQueryPart(std::string_view bytes) {
    const std::size_t size = EncodedSize(bytes);
    if (size == bytes.size()) return std::string(bytes);
    std::string out;
    out.reserve(size);
    AppendEncoded(out, bytes);
    return out;
}

std::shared_ptr<ICurlGetBuilder> NewGetBuilder(std::string_view baseUrl) {
    return std::make_shared<TCurlGetBuilder>(baseUrl);
}

}  // namespace velmora::http
