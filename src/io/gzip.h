// Streaming gzip decompression with a cap on the output, so that a small hostile file (a
// "gzip bomb") can neither fill memory nor keep the reader busy for long.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

namespace velmora::io {

// True when the bytes start with the gzip magic number.
bool IsGzip(std::string_view bytes);

// Inflates a gzip stream held in memory piece by piece; concatenated members are read on.
class TGunzip {
  public:
    TGunzip(std::string_view compressed, size_t maxOutput);
    ~TGunzip();
    TGunzip(const TGunzip&) = delete;
    TGunzip& operator=(const TGunzip&) = delete;

    // Up to len bytes into buffer; 0 at the end, -1 on damage or when the output would pass
    // maxOutput (then LimitExceeded()).
    int Read(char* buffer, int len);
    bool LimitExceeded() const { return FLimitExceeded; }

  private:
    struct TState;
    std::unique_ptr<TState> FState;
    size_t FMaxOutput;
    size_t FProduced = 0;
    bool FLimitExceeded = false;
    bool FFailed = false;
    bool FFinished = false;
};

}  // namespace velmora::io
