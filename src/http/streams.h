// Receive streams of the HTTP client: a growable byte buffer and the record that pairs a
// stream with its ownership and rewind flags. Free of libcurl's headers.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace velmora::http {

// The stream operations a transfer needs; a stream is never read back through here.
class TCurlStream {
  public:
    virtual ~TCurlStream() = default;
    // Writes count bytes at the position; returns the number written (0 for a negative count).
    virtual std::int64_t Write(const void* buffer, std::int64_t count) = 0;
    virtual void Rewind() = 0;
    virtual void SetSize(std::int64_t size) = 0;
};

// A stream over one byte string; the received body is taken whole through Data.
class TRawByteStream final : public TCurlStream {
  public:
    std::int64_t Write(const void* buffer, std::int64_t count) override;
    void Rewind() override { FPos = 0; }
    void SetSize(std::int64_t size) override;
    const std::string& Data() const { return FData; }
    std::int64_t Position() const { return FPos; }
    // Gives the buffer to the receive buffers kept for the whole process and starts empty; the
    // next Write of any stream that starts from nothing takes a kept buffer first.
    void Release();

    // Bytes kept free after the data when it grows by appending.
    static constexpr std::size_t kSpareBytes = 64;

  private:
    std::string FData;
    std::int64_t FPos = 0;
};

enum TCurlStreamFlag : unsigned {
    // Before each transfer the stream is rewound and, when it receives, emptied.
    csfAutoRewind = 1u << 0,
    // The record owns the stream and frees it.
    csfAutoDestroy = 1u << 1,
};
using TCurlStreamFlags = unsigned;

// A stream plus flags. Move-only so that an owned stream has exactly one owner.
struct TCurlAutoStream {
    TCurlStream* Stream = nullptr;
    TCurlStreamFlags Flags = 0;

    TCurlAutoStream() = default;
    TCurlAutoStream(const TCurlAutoStream&) = delete;
    TCurlAutoStream& operator=(const TCurlAutoStream&) = delete;
    TCurlAutoStream(TCurlAutoStream&& other) noexcept;
    TCurlAutoStream& operator=(TCurlAutoStream&& other) noexcept;
    ~TCurlAutoStream() { Destroy(); }

    // Frees the current stream first (per its flags) unless it is the given one. With
    // csfAutoDestroy the record takes ownership of a stream allocated with new.
    void Assign(TCurlStream* stream, TCurlStreamFlags flags);
    // Owned form: csfAutoDestroy is implied.
    void Assign(std::unique_ptr<TCurlStream> stream, TCurlStreamFlags flags);
    // With csfAutoRewind: position 0 and size 0.
    void RewindWrite();
    // With csfAutoDestroy: frees the stream and clears stream and flags; otherwise nothing.
    void Destroy();
};

}  // namespace velmora::http
