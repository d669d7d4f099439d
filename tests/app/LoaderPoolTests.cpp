// The loader's pool of decoders, its memory limits, and the files it passes
// over or goes on after.
#include "CaseFolder.h"
#include "Exception.h"
#include "ILoaderClient.h"
#include "TCaseModel.h"
#include "TDecodePool.h"
#include "TDicomStream.h"
#include "TFileStream.h"
#include "TLoader.h"
#include "ThreadPriority.h"
#include "WaitUntil.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace {

class Client : public ILoaderClient {
public:
    explicit Client(TCaseModel& m) : model(m) {}
    void PreviewChanged(int count) override { preview = count; }
    void FrameAdded() override
    {
        ++frameAdded;
        if (onFrameAdded)
            onFrameAdded();
    }
    void NotEnoughMemory() override { ++memoryNotices; }
    void LoaderDone() override
    {
        ++done;
        loop.quit();
    }
    void Load(const std::string& folder, const TLoadLimits& limits)
    {
        TLoader::Start(model, *this, folder, limits);
        QTimer::singleShot(60000, &loop, &QEventLoop::quit);
        loop.exec();
    }
    TCaseModel& model;
    int preview = 0;
    int frameAdded = 0;
    int memoryNotices = 0;
    int done = 0;
    std::function<void()> onFrameAdded;
    QEventLoop loop;
};

TLoadLimits Limits(int workers, uint64_t caseBytes = uint64_t(1) << 32) { return {caseBytes, workers}; }

// Frames as (stack, first pixel) in stack and frame order.
std::vector<std::pair<std::string, int>> Frames(const TCaseModel& m)
{
    std::vector<std::pair<std::string, int>> v;
    for (const auto& s : m.Stacks)
        for (const auto& f : s->FrameList)
            v.emplace_back(s->Source, f->GetPixelIndex(0, 0));
    return v;
}

size_t FrameCount(const TCaseModel& m)
{
    size_t n = 0;
    for (const auto& s : m.Stacks)
        n += s->FrameList.size();
    return n;
}

// A 16-bit image whose sample range puts value at pixel (0, 0) after the map.
void Ct(const CaseFolder& c, const std::string& name, int instance, int size)
{
    std::vector<int16_t> s(size_t(size * size));
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = int16_t((i * 7 + size_t(instance)) % 4000);
    s[0] = int16_t(instance % 4000);
    s[1] = 0;
    s[2] = 4000;
    DicomWriter w;
    CaseFolder::Header(w, {.instance = std::to_string(instance)});
    w.U16(DicomTag::SamplesPerPixel, 1).U16(DicomTag::Rows, uint16_t(size)).U16(DicomTag::Columns, uint16_t(size));
    w.U16(DicomTag::BitsAllocated, 16).Pixels16(s);
    w.Save(c.File(name));
}

} // namespace

TEST(LoaderPool, ManyWorkersGiveTheFramesOfOneInTheSameOrder)
{
    CaseFolder c;
    for (int i = 0; i < 500; ++i)
        c.Single("s" + std::to_string(i) + ".dcm",
                 {.value = uint8_t(i * 37), .instance = std::to_string((i * 211) % 500), .echo = i % 3 ? "20" : "80"});
    c.Multi("multi.dcm", {1, 2, 3, 4, 5, 6, 7, 8});
    TCaseModel one, many;
    Client a(one), b(many);
    a.Load(c.Path(), Limits(1));
    b.Load(c.Path(), Limits(4));
    ASSERT_EQ(FrameCount(one), 508u);
    EXPECT_EQ(Frames(one), Frames(many));
    EXPECT_EQ(a.frameAdded, b.frameAdded);
    EXPECT_EQ(a.preview, b.preview);
    ASSERT_EQ(one.Stacks.size(), 3u);
    // Instance numbers 0 to 499 in order: file i has number (211 i) mod 500.
    const TStack& first = *one.Stacks[1];
    ASSERT_FALSE(first.FrameList.empty());
    EXPECT_EQ(first.FrameList[0]->GetPixelIndex(0, 0), 0); // instance 0 is file 0
}

TEST(LoaderPool, MultiImageFileImagesArriveInImageListOrder)
{
    CaseFolder c;
    DicomWriter w;
    CaseFolder::Header(w, {});
    std::vector<int> expected;
    for (int i = 0; i < 60; ++i) {
        const int number = (i * 17) % 60 + 1;
        w.ItemStart().Text(DicomTag::InstanceNumber, std::to_string(number));
        CaseFolder::Image(w, uint8_t(number));
        w.ItemEnd();
    }
    w.Save(c.File("multi.dcm"));
    TCaseModel m;
    Client r(m);
    r.Load(c.Path(), Limits(3));
    ASSERT_EQ(m.Stacks.size(), 1u);
    std::vector<int> got;
    for (const auto& f : m.Stacks[0]->FrameList)
        got.push_back(f->GetPixelIndex(0, 0));
    for (int i = 1; i <= 60; ++i)
        expected.push_back(i);
    EXPECT_EQ(got, expected);
}

TEST(LoaderPool, StopInTheMiddleEndsTheLoaderWithNoImageAfterIt)
{
    CaseFolder c;
    constexpr int kSize = 1024;
    for (int i = 0; i < 40; ++i)
        Ct(c, "ct" + std::to_string(i) + ".dcm", i + 1, kSize);
    TCaseModel m;
    Client r(m);
    int addedAtStop = -1;
    r.onFrameAdded = [&] {
        if (r.frameAdded == 3)
            QTimer::singleShot(0, [&] {
                TLoader::Stop(m);
                addedAtStop = r.frameAdded;
            });
    };
    r.Load(c.Path(), Limits(2));
    QCoreApplication::processEvents();
    ASSERT_GE(addedAtStop, 3);
    EXPECT_EQ(r.done, 1);
    EXPECT_EQ(m.ActiveLoader, nullptr);
    EXPECT_EQ(r.frameAdded, addedAtStop);
    EXPECT_EQ(FrameCount(m), size_t(addedAtStop));
    EXPECT_LT(FrameCount(m), 40u);
}

// What a stop asks of the pool, counted with the decodes held at a gate:
// queued work leaves without running, running work ends before the stop
// returns.
TEST(LoaderPool, StopDropsQueuedDecodesAndWaitsForTheRunningOnes)
{
    constexpr int kWorkers = 2;
    constexpr int kSubmitted = 6;
    TDecodePool pool(kWorkers);
    std::promise<void> gate;
    const std::shared_future<void> open = gate.get_future().share();
    std::atomic<int> started{0}, ended{0};
    std::vector<std::shared_ptr<TDecodePool::TTicket>> tickets;
    for (int i = 0; i < kSubmitted; ++i)
        tickets.push_back(pool.Submit([&](TReadBuffer&) {
            ++started;
            open.wait();
            ++ended;
        }));
    ASSERT_TRUE(WaitUntil([&] { return started == kWorkers; }));
    // Both workers are held: the rest is still queued and leaves at once.
    for (int i = kSubmitted - 1; i >= kWorkers; --i)
        pool.Withdraw(tickets[size_t(i)]);
    gate.set_value();
    for (int i = 0; i < kWorkers; ++i)
        pool.Withdraw(tickets[size_t(i)]);
    EXPECT_EQ(ended, kWorkers);
    EXPECT_EQ(started, kWorkers);
}

TEST(LoaderLimits, TheCaseBudgetStopsAddingImagesAndTellsOnce)
{
    CaseFolder c;
    for (int i = 0; i < 10; ++i)
        c.Single("s" + std::to_string(i) + ".dcm", {.value = uint8_t(i), .instance = std::to_string(i)});
    c.Multi("multi.dcm", {50, 51, 52});
    TCaseModel m;
    Client r(m);
    // A 4 x 4 image's store is 16 bytes: room for the multi-image file and two singles.
    r.Load(c.Path(), Limits(2, 5 * 16));
    EXPECT_EQ(FrameCount(m), 5u);
    EXPECT_EQ(r.memoryNotices, 1);
    EXPECT_EQ(r.done, 1);
}

TEST(LoaderLimits, OneFileDecodesToAtMost64MiBOrAThousandTimesItsSize)
{
    EXPECT_EQ(TLoader::FileStoreCap(300), 64u << 20);
    EXPECT_EQ(TLoader::FileStoreCap(1u << 20), 1000u << 20);
    // Five 4096 x 4096 images of two bytes each in a file of a few hundred
    // bytes: four fill the file's 64 MiB, the fifth is not loaded.
    CaseFolder c;
    DicomWriter w;
    CaseFolder::Header(w, {});
    for (int i = 0; i < 5; ++i) {
        w.ItemStart().U16(DicomTag::Rows, 4096).U16(DicomTag::Columns, 4096).U16(DicomTag::BitsAllocated, 8);
        w.Pixels8({uint8_t(i), 1}).ItemEnd();
    }
    w.Save(c.File("bomb.dcm"));
    c.Single("after.dcm", {.value = 9, .instance = "1"});
    TCaseModel m;
    Client r(m);
    r.Load(c.Path(), Limits(2));
    ASSERT_EQ(m.Stacks.size(), 2u);
    EXPECT_EQ(m.Stacks[0]->FrameList.size(), 4u);
    EXPECT_EQ(m.Stacks[1]->FrameList.size(), 1u); // the load went on
    EXPECT_EQ(r.memoryNotices, 1);
}

TEST(LoaderFailures, SpecialFilesArePassedOver)
{
    CaseFolder c;
    c.Single("good.dcm", {.value = 4, .instance = "1"});
    ASSERT_EQ(::mkfifo(c.File("A.DCM").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo(c.File("x.tif").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo(c.File("y.TIF").c_str(), 0600), 0);
    ASSERT_EQ(::symlink("/dev/zero", c.File("Z.DCM").c_str()), 0);
    ASSERT_EQ(::symlink(c.File("A.DCM").c_str(), c.File("link.TIF").c_str()), 0);
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string sockPath = c.File("s.dcm");
    ASSERT_LT(sockPath.size(), sizeof addr.sun_path);
    std::strcpy(addr.sun_path, sockPath.c_str());
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    TCaseModel m;
    Client r(m);
    r.Load(c.Path(), Limits(2));
    ::close(sock);
    ASSERT_EQ(r.done, 1);
    EXPECT_EQ(r.preview, 1);
    ASSERT_EQ(m.Stacks.size(), 1u);
    EXPECT_EQ(m.Stacks[0]->FrameList.size(), 1u);
    // Opened directly, a pipe fails at once instead of blocking.
    EXPECT_THROW(TDicomStream(c.File("A.DCM")), EFOpenError);
    EXPECT_THROW(TDicomStream(c.File("Z.DCM")), EFOpenError);
    EXPECT_THROW(TFileStream(c.File("x.tif"), fmOpenRead | fmShareDenyNone), EFOpenError);
}

TEST(LoaderFailures, AVanishedSingleFileIsPassedOver)
{
    CaseFolder c;
    c.Multi("multi.dcm", {1, 2});
    c.Single("a.dcm", {.value = 10, .instance = "1"});
    c.Single("b.dcm", {.value = 20, .instance = "2", .seriesUid = "7.7"});
    TCaseModel m;
    Client r(m);
    // After the whole-file pass has listed the singles, the first one goes.
    r.onFrameAdded = [&] {
        if (r.frameAdded == 1)
            QFile::remove(QString::fromStdString(c.File("a.dcm")));
    };
    r.Load(c.Path(), Limits(1));
    ASSERT_EQ(m.Stacks.size(), 2u);
    EXPECT_EQ(m.Stacks[1]->Source, "7.7 ^^");
    EXPECT_EQ(m.Stacks[1]->FrameList.size(), 1u);
}

TEST(LoaderThreads, RunBelowTheUiThread)
{
    // Run under "nice" the caller may sit at kLoaderNice or below it already.
    const int before = ThreadNice();
    int nice = -100;
    std::thread([&] {
        LowerThreadPriority();
        nice = ThreadNice();
    }).join();
    EXPECT_EQ(nice, std::max(before, kLoaderNice)); // raised, never lowered
    EXPECT_EQ(ThreadNice(), before);                // the caller's own thread is untouched
}
