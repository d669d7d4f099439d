#include "Exception.h"
#include "MulDiv.h"
#include "TFileStream.h"
#include "TMemoryStream.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <limits>
#include <string>

TEST(MulDiv, RoundsHalvesAwayFromZeroAndFailsSoftly)
{
    EXPECT_EQ(MulDiv(10, 3, 4), 8);    // 7.5 -> 8
    EXPECT_EQ(MulDiv(-10, 3, 4), -8);  // -7.5 -> -8
    EXPECT_EQ(MulDiv(10, 3, -4), -8);
    EXPECT_EQ(MulDiv(7, 1, 3), 2);     // 2.33 -> 2
    EXPECT_EQ(MulDiv(8, 1, 3), 3);     // 2.67 -> 3
    EXPECT_EQ(MulDiv(5, 5, 0), -1);
    EXPECT_EQ(MulDiv(0x7FFFFFFF, 2, 1), -1);
    EXPECT_EQ(MulDiv(0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF), 0x7FFFFFFF);
    EXPECT_EQ(MulDiv(-0x7FFFFFFF - 1, 1, 1), -0x7FFFFFFF - 1);
}

TEST(MemoryStream, ReadWriteSeekAndGrowth)
{
    TMemoryStream m;
    EXPECT_EQ(m.Write("abcdef", 6), 6);
    EXPECT_EQ(m.Size(), 6);
    EXPECT_EQ(m.Seek(-2, soEnd), 4);
    char buf[8] = {};
    EXPECT_EQ(m.Read(buf, 8), 2);
    EXPECT_EQ(std::string(buf, 2), "ef");
    EXPECT_EQ(m.Read(buf, 8), 0);
    m.SetPosition(10); // past the end: a write fills the gap
    m.Write("x", 1);
    EXPECT_EQ(m.Size(), 11);
    EXPECT_EQ(m.Memory()[7], 0);
    EXPECT_THROW(m.ReadBuffer(buf, 1), EReadError);
    EXPECT_EQ(m.Seek(-1, soBeginning), -1);
}

TEST(FileStream, OpenFailuresNameTheFile)
{
    QTemporaryDir dir;
    const std::string missing = dir.filePath("missing.dcm").toStdString();
    try {
        TFileStream s(missing, fmOpenRead | fmShareDenyNone);
        FAIL() << "no exception";
    } catch (const EFOpenError& e) {
        EXPECT_NE(std::string(e.what()).find("Cannot open file \"" + missing + "\""), std::string::npos);
    }
    EXPECT_THROW(TFileStream(dir.path().toStdString(), fmOpenRead), EFOpenError);
    EXPECT_THROW(TFileStream(dir.filePath("no/such/dir/x").toStdString(), fmCreate), EFCreateError);
}

TEST(FileStream, BufferedReadsMatchTheFileAndWritesAreSeen)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath("data.bin").toStdString();
    std::string content(100000, '\0');
    for (size_t i = 0; i < content.size(); ++i)
        content[i] = char(i * 7 + i / 251);
    {
        TFileStream w(path, fmCreate);
        w.WriteBuffer(content.data(), int64_t(content.size()));
        EXPECT_EQ(w.Size(), 100000);
    }
    TFileStream r(path, fmOpenRead | fmShareDenyNone);
    // Small reads at scattered positions, backwards and forwards.
    const int64_t positions[] = {0, 8190, 8191, 8192, 50000, 49999, 99998, 12};
    for (int64_t p : positions) {
        r.SetPosition(p);
        char b[4] = {};
        const int64_t n = r.Read(b, 4);
        EXPECT_EQ(n, std::min<int64_t>(4, 100000 - p));
        EXPECT_EQ(std::string(b, size_t(n)), content.substr(size_t(p), size_t(n))) << p;
        EXPECT_EQ(r.Position(), p + n);
    }
    // A large read straight through.
    std::string big(60000, '\0');
    r.SetPosition(30000);
    EXPECT_EQ(r.Read(big.data(), 60000), 60000);
    EXPECT_EQ(big, content.substr(30000, 60000));
    // Past the end reads nothing; the position is still settable there.
    EXPECT_EQ(r.Seek(10, soEnd), 100010);
    char c;
    EXPECT_EQ(r.Read(&c, 1), 0);

    // Walking 2-byte fields costs one system call per buffer, not per field.
    const uint64_t before = r.ReadCalls();
    r.SetPosition(0);
    for (int i = 0; i < 4000; ++i) {
        uint16_t v;
        r.ReadBuffer(&v, 2);
    }
    EXPECT_LE(r.ReadCalls() - before, 1u);

    // A read-write stream sees its own writes through the buffer.
    TFileStream rw(path, fmOpenReadWrite);
    char head[4];
    rw.Read(head, 4);
    rw.SetPosition(2);
    rw.WriteBuffer("ZZ", 2);
    rw.SetPosition(0);
    rw.Read(head, 4);
    EXPECT_EQ(std::string(head + 2, 2), "ZZ");
}

TEST(Stream, CopyFromCopiesCountOrWholeSource)
{
    TMemoryStream src, dst;
    src.Write("0123456789", 10);
    src.SetPosition(3);
    EXPECT_EQ(dst.CopyFrom(src, 4), 4);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(dst.Memory()), 4), "3456");
    TMemoryStream all;
    EXPECT_EQ(all.CopyFrom(src, 0), 10);
    EXPECT_EQ(all.Size(), 10);
    src.SetPosition(8);
    EXPECT_THROW(dst.CopyFrom(src, 5), EReadError);
}

TEST(Stream, HostilePositionsAndCountsNeverWrap)
{
    constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
    QTemporaryDir dir;
    const std::string path = dir.filePath("data.bin").toStdString();
    TMemoryStream memory;
    memory.Write("abcdef", 6);
    TFileStream file(path, fmCreate);
    file.WriteBuffer("abcdef", 6);
    for (TStream* s : {static_cast<TStream*>(&memory), static_cast<TStream*>(&file)}) {
        // Seek bases plus offsets beyond 64 bits are refused, the position kept.
        s->SetPosition(4);
        EXPECT_EQ(s->Seek(kMax, soCurrent), -1);
        EXPECT_EQ(s->Seek(kMax, soEnd), -1);
        EXPECT_EQ(s->Seek(std::numeric_limits<int64_t>::min(), soEnd), -1);
        EXPECT_EQ(s->Position(), 4);
        EXPECT_EQ(s->Seek(kMax - 4, soCurrent), kMax);
        // At the last position nothing fits: reads and writes do nothing.
        char buf[4] = {};
        EXPECT_EQ(s->Read(buf, 4), 0);
        EXPECT_EQ(s->Write("xy", 2), 0);
        EXPECT_EQ(s->Size(), 6);
        s->SetPosition(kMax - 1);
        EXPECT_EQ(s->Read(buf, kMax), 0);
        // A negative count is refused before anything is allocated.
        TMemoryStream target;
        s->SetPosition(0);
        EXPECT_THROW(target.CopyFrom(*s, -1), EReadError);
        EXPECT_THROW(target.CopyFrom(*s, std::numeric_limits<int64_t>::min()), EReadError);
        EXPECT_EQ(target.Size(), 0);
    }
}
