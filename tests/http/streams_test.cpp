#include "http/streams.h"

#include <gtest/gtest.h>

#include <memory>

namespace velmora::http {
namespace {

TEST(RawByteStream, WritesAtPositionAndGrows) {
    TRawByteStream s;
    EXPECT_EQ(s.Write("AAAA", 4), 4);
    EXPECT_EQ(s.Write("x", -1), 0);
    EXPECT_EQ(s.Data(), "AAAA");
    // Rewinding alone overwrites in place; only emptying forgets the old tail.
    s.Rewind();
    EXPECT_EQ(s.Write("bb", 2), 2);
    EXPECT_EQ(s.Data(), "bbAA");
    EXPECT_EQ(s.Write("ccc", 3), 3);
    EXPECT_EQ(s.Data(), "bbccc");
    s.Rewind();
    s.SetSize(0);
    EXPECT_EQ(s.Write("d", 1), 1);
    EXPECT_EQ(s.Data(), "d");
}

// Counts live instances so that frees (and double frees, under ASan) are visible.
struct TCountingStream : TCurlStream {
    explicit TCountingStream(int& live) : FLive(live) { ++FLive; }
    ~TCountingStream() override { --FLive; }
    std::int64_t Write(const void*, std::int64_t count) override { return count; }
    void Rewind() override { ++Rewinds; }
    void SetSize(std::int64_t) override {}
    int& FLive;
    int Rewinds = 0;
};

TEST(CurlAutoStream, OwnsOnlyWhatItIsGiven) {
    int live = 0;
    {
        TCurlAutoStream rec;
        rec.Assign(std::make_unique<TCountingStream>(live), csfAutoRewind);
        EXPECT_EQ(rec.Flags, csfAutoRewind | csfAutoDestroy);
        rec.Assign(std::make_unique<TCountingStream>(live), csfAutoRewind);
        EXPECT_EQ(live, 1) << "the replaced owned stream must be freed";

        TCountingStream borrowed(live);
        rec.Assign(&borrowed, csfAutoRewind);
        EXPECT_EQ(live, 1);
        rec.Assign(&borrowed, csfAutoRewind);  // same stream again: kept
        rec.RewindWrite();
        EXPECT_EQ(borrowed.Rewinds, 1);
        rec.Destroy();  // not owned: untouched
        EXPECT_EQ(rec.Stream, &borrowed);
        rec.Assign(nullptr, 0);
        EXPECT_EQ(live, 1);

        TCurlAutoStream moved;
        moved.Assign(std::make_unique<TCountingStream>(live), 0);
        rec = std::move(moved);
        EXPECT_EQ(moved.Stream, nullptr);
        EXPECT_EQ(live, 2);
        auto* owned = static_cast<TCountingStream*>(rec.Stream);
        rec.RewindWrite();  // no csfAutoRewind: untouched
        EXPECT_EQ(owned->Rewinds, 0);
    }
    EXPECT_EQ(live, 0);
}

}  // namespace
}  // namespace velmora::http
