#include "http/streams.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace velmora::http {

namespace {

// Answers are received one after another at the pace of the requests, so a few buffers serve
// any number of clients; an odd giant is not kept.
constexpr std::size_t kKeptBuffers = 4;
constexpr std::size_t kMaxKeptCapacity = 8u << 20;

std::mutex gKeptLock;
std::vector<std::string> gKept;

// The kept buffer of the largest capacity, or an empty string.
std::string TakeKeptBuffer() {
    std::lock_guard lock(gKeptLock);
    if (gKept.empty()) return {};
    const auto largest = std::max_element(
        gKept.begin(), gKept.end(),
        [](const std::string& a, const std::string& b) { return a.capacity() < b.capacity(); });
    std::string taken = std::move(*largest);
    gKept.erase(largest);
    return taken;
}

void KeepBuffer(std::string buffer) {
    if (buffer.capacity() > kMaxKeptCapacity) return;
    buffer.clear();
    std::lock_guard lock(gKeptLock);
    if (gKept.size() < kKeptBuffers) gKept.push_back(std::move(buffer));
}

}  // namespace

std::int64_t TRawByteStream::Write(const void* buffer, std::int64_t count) {
    if (count <= 0) return 0;
    const auto pos = static_cast<std::size_t>(FPos);
    const auto n = static_cast<std::size_t>(count);
    // Appending is the receive path's only case in practice; keep it a plain append. Spare
    // room stays at the end so that a reader working in wide blocks (a JSON parser) can use
    // the bytes where they are instead of copying them.
    if (pos == FData.size()) {
        if (pos == 0 && FData.capacity() < n + kSpareBytes) {
            std::string kept = TakeKeptBuffer();
            if (kept.capacity() > FData.capacity()) FData.swap(kept);
        }
        if (FData.capacity() < pos + n + kSpareBytes)
            FData.reserve(std::max(FData.capacity() * 2, pos + n + kSpareBytes));
        FData.append(static_cast<const char*>(buffer), n);
    } else {
        if (pos + n > FData.size()) FData.resize(pos + n);
        std::memcpy(FData.data() + pos, buffer, n);
    }
    FPos += count;
    return count;
}

void TRawByteStream::Release() {
    std::string buffer;
    buffer.swap(FData);
    FPos = 0;
    KeepBuffer(std::move(buffer));
}

void TRawByteStream::SetSize(std::int64_t size) {
    FData.resize(size > 0 ? static_cast<std::size_t>(size) : 0);
}

TCurlAutoStream::TCurlAutoStream(TCurlAutoStream&& other) noexcept
    : Stream(std::exchange(other.Stream, nullptr)), Flags(std::exchange(other.Flags, 0)) {}

TCurlAutoStream& TCurlAutoStream::operator=(TCurlAutoStream&& other) noexcept {
    if (this != &other) {
        Destroy();
        Stream = std::exchange(other.Stream, nullptr);
        Flags = std::exchange(other.Flags, 0);
    }
    return *this;
}

void TCurlAutoStream::Assign(TCurlStream* stream, TCurlStreamFlags flags) {
    if (stream != Stream) Destroy();
    Stream = stream;
    if (stream != nullptr) Flags = flags;
}

void TCurlAutoStream::Assign(std::unique_ptr<TCurlStream> stream, TCurlStreamFlags flags) {
    Assign(stream.release(), flags | csfAutoDestroy);
}

void TCurlAutoStream::RewindWrite() {
    if (Stream != nullptr && (Flags & csfAutoRewind) != 0) {
        Stream->Rewind();
        Stream->SetSize(0);
    }
}

void TCurlAutoStream::Destroy() {
    if ((Flags & csfAutoDestroy) == 0) return;
    delete Stream;
    Stream = nullptr;
    Flags = 0;
}

}  // namespace velmora::http
