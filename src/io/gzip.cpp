#include "io/gzip.h"

#include <zlib.h>

#include <algorithm>
#include <climits>

namespace velmora::io {

bool IsGzip(std::string_view bytes) {
    return bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0x1F &&
           static_cast<unsigned char>(bytes[1]) == 0x8B;
}

struct TGunzip::TState {
    z_stream z{};
    bool initialised = false;
    ~TState() {
        if (initialised) inflateEnd(&z);
    }
};

TGunzip::TGunzip(std::string_view compressed, size_t maxOutput)
    : FState(std::make_unique<TState>()), FMaxOutput(maxOutput) {
    z_stream& z = FState->z;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
    // Sitemap bodies are capped far below 4 GiB before they get here.
    z.avail_in = static_cast<uInt>(std::min<size_t>(compressed.size(), UINT_MAX));
    // 16 + MAX_WBITS: gzip wrapper only.
    FState->initialised = inflateInit2(&z, 16 + MAX_WBITS) == Z_OK;
    FFailed = !FState->initialised;
}

TGunzip::~TGunzip() = default;

int TGunzip::Read(char* buffer, int len) {
    if (FFailed || FLimitExceeded) return -1;
    if (FFinished || len <= 0) return 0;
    z_stream& z = FState->z;
    // One byte more than allowed shows that the limit is passed without inflating further.
    const size_t room = FMaxOutput - std::min(FProduced, FMaxOutput) + 1;
    z.next_out = reinterpret_cast<Bytef*>(buffer);
    z.avail_out = static_cast<uInt>(std::min<size_t>(static_cast<size_t>(len), room));
    while (z.avail_out > 0) {
        const int ret = inflate(&z, Z_NO_FLUSH);
        if (ret == Z_STREAM_END) {
            if (z.avail_in == 0) {
                FFinished = true;
                break;
            }
            if (inflateReset(&z) != Z_OK) {
                FFailed = true;
                return -1;
            }
        } else if (ret == Z_BUF_ERROR && z.avail_in == 0) {
            FFailed = true;  // truncated
            return -1;
        } else if (ret != Z_OK) {
            FFailed = true;
            return -1;
        }
    }
    const size_t got = static_cast<size_t>(reinterpret_cast<char*>(z.next_out) - buffer);
    FProduced += got;
    if (FProduced > FMaxOutput) {
        FLimitExceeded = true;
        return -1;
    }
    return static_cast<int>(got);
}

}  // namespace velmora::io
