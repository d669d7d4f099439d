// A case shown while it downloads, against the real FTP server: the loader
// follows the download worker's finished files and ends with the model of a
// load of the finished folder.
#include "CaseFolder.h"
#include "FtpServer.h"
#include "ILoaderClient.h"
#include "ScopedEnv.h"
#include "TCaseModel.h"
#include "TCatalogue.h"
#include "TFetchThread.h"
#include "TLoader.h"
#include "WaitUntil.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

namespace {

// Records the loader's notifications like the main window and checks at
// each one that the image a viewer shows stays the one it showed.
class Viewer : public ILoaderClient {
public:
    explicit Viewer(TCaseModel& m) : model(m) {}
    void PreviewChanged(int count) override { preview = count; }
    void FrameAdded() override
    {
        Check();
        if (!shownImage) {
            for (size_t i = 0; i < model.Stacks.size() && !shownImage; ++i) {
                if (model.Stacks[i]->FrameList.empty())
                    continue;
                shownIndex = i;
                frame = model.Stacks[i]->FrameList.size() - 1; // the last: later ones go before it
                shownImage = model.Stacks[i]->FrameList[frame].get();
            }
        }
    }
    void NotEnoughMemory() override {}
    void LoaderDone() override { done = true; }
    void StackInserted(int index) override { shownIndex += shownImage && size_t(index) <= shownIndex; }
    void StackMoved(int from, int to) override
    {
        const int s = int(shownIndex);
        if (shownImage)
            shownIndex = size_t(s == from ? to : s - (from < s && s <= to) + (to <= s && s < from));
    }
    void FrameInserted(const TStack& stack, size_t index) override
    {
        ++inserted;
        frame += shownImage && &stack == model.Stacks[shownIndex].get() && index <= frame;
        FrameAdded();
    }
    void CaseIncomplete() override { ++incomplete; }

    void Check()
    {
        if (shownImage && (shownIndex >= model.Stacks.size() || frame >= model.Stacks[shownIndex]->FrameList.size() ||
                           model.Stacks[shownIndex]->FrameList[frame].get() != shownImage))
            ++lost;
    }

    TCaseModel& model;
    int preview = 0, inserted = 0, incomplete = 0, lost = 0;
    bool done = false;
    size_t shownIndex = 0, frame = 0;
    const TDibGraphic* shownImage = nullptr;
};

std::vector<int> Pixels(const TStack& s)
{
    std::vector<int> v;
    for (const auto& f : s.FrameList)
        v.push_back(int(f->GetPixelIndex(0, 0)));
    return v;
}

// Images of the model whose pixels are value (-1: every image).
int Count(const TCaseModel& model, int value)
{
    int n = 0;
    for (const auto& stack : model.Stacks)
        for (int v : Pixels(*stack))
            n += value < 0 || v == value;
    return n;
}

constexpr int SlowValue = 16; // "a6", instance 1

void ExpectSameModel(const TCaseModel& live, const TCaseModel& loaded)
{
    ASSERT_EQ(live.Stacks.size(), loaded.Stacks.size());
    for (size_t i = 0; i < live.Stacks.size(); ++i) {
        const TStack& a = *live.Stacks[i];
        const TStack& b = *loaded.Stacks[i];
        EXPECT_EQ(a.Source, b.Source) << i;
        EXPECT_EQ(a.Patient + a.StudyText + a.DateText + a.Referrer, b.Patient + b.StudyText + b.DateText + b.Referrer);
        EXPECT_EQ(Pixels(a), Pixels(b)) << a.Source;
    }
}

struct StreamCase {
    const char* name;
    bool stop; // downloading stops while the slow image still arrives
};

class StreamTest : public ::testing::TestWithParam<StreamCase> {
protected:
    QTemporaryDir cacheDir;
    const ScopedEnv cache{"XDG_CACHE_HOME", cacheDir.path()};
    CaseFolder source;
    FtpServer server;
    TCatalogue catalogue;
    const std::string key = "g\\Doe\\CT";

    // A report, a multi-image file, series A whose names sort against its
    // instance numbers (each image goes in before the last), series B whose
    // last file by name sorts first (the series moves before A), and the
    // first image of A arriving slowly.
    void MakeCase()
    {
        source.Pdf("report.pdf");
        source.Multi("multi.dcm", {200, 201, 202});
        for (int i = 1; i <= 6; ++i)
            source.Single("a" + std::to_string(i), {.value = uint8_t(10 + i), .instance = std::to_string(7 - i)});
        source.Single("b1", {.value = 50, .instance = "2", .seriesUid = "1.2.4"});
        source.Single("b2", {.value = 51, .instance = "3", .seriesUid = "1.2.4"});
        source.Single("z0", {.value = 52, .instance = "0", .seriesUid = "1.2.4"});
        for (const QString& name : QDir(QString::fromStdString(source.Path())).entryList(QDir::Files)) {
            QFile f(QString::fromStdString(source.File(name.toStdString())));
            f.open(QIODevice::ReadOnly);
            server.AddFile("referring/g/Doe/CT/" + name.toStdString(), f.readAll().toStdString());
        }
        server.Start({"--user", "doc:pw", "--slow", "a6:32:0.3"});
        catalogue.Settings = {
            .Host = "127.0.0.1", .Port = server.Port(), .User = "doc", .Password = "pw", .Connections = 4};
        catalogue.RootFolder = "/referring";
        catalogue.FreeSpace = [] { return std::optional<int64_t>(1 << 20); };
    }
    std::string Local(const std::string& name) const { return catalogue.CaseFolder(key) + name; }
    // The slow image, on disk but not whole yet.
    bool SlowImagePartial() const
    {
        const qint64 size = QFile(QString::fromStdString(Local("a6"))).size();
        return size > 0 && size < QFile(QString::fromStdString(source.File("a6"))).size();
    }
};

} // namespace

TEST_P(StreamTest, AFollowedCaseEndsAsALoadOfWhatArrived)
{
    MakeCase();
    catalogue.List.AddCaseRow(key, 1);
    catalogue.ViewWhileDownloading(key);
    std::shared_ptr<TCaseArrivals> arrivals = catalogue.FollowedIn(catalogue.CaseFolder(key));
    ASSERT_NE(arrivals, nullptr);

    TCaseModel live;
    Viewer viewer(live);
    TLoader::Start(live, viewer, catalogue.CaseFolder(key), TLoadLimits::Default(), arrivals);
    TFetchThread worker(catalogue);
    worker.IdleSleepMs = 20;
    worker.start();
    int readWhileWritten = 0;
    EXPECT_TRUE(WaitUntil([&] {
        if (SlowImagePartial()) {
            // Never read before it is whole: image 1 of A is not in yet.
            readWhileWritten += Count(live, SlowValue);
            // Stopped with every other file in.
            if (GetParam().stop && Count(live, -1) == 11)
                catalogue.DownloadsPaused = true;
        }
        return viewer.done;
    }));
    worker.Terminate();
    TLoader::Stop(live);

    TCaseModel loaded;
    Viewer after(loaded);
    TLoader::Start(loaded, after, catalogue.CaseFolder(key));
    ASSERT_TRUE(WaitUntil([&] { return after.done; }));
    ExpectSameModel(live, loaded);
    EXPECT_EQ(viewer.preview, after.preview);
    EXPECT_EQ(live.Stacks.size(), 4u);
    EXPECT_EQ(readWhileWritten, 0);
    EXPECT_EQ(viewer.lost, 0); // the shown image stayed through every insertion
    // Stopped, the slow image is cut and left out, and the viewer is told;
    // else it arrives last and goes in first.
    EXPECT_EQ(Count(live, SlowValue), GetParam().stop ? 0 : 1);
    EXPECT_EQ(viewer.incomplete, GetParam().stop ? 1 : 0);
    EXPECT_TRUE(GetParam().stop || viewer.inserted > 0);
}

INSTANTIATE_TEST_SUITE_P(Download, StreamTest,
                         ::testing::Values(StreamCase{"Complete", false}, StreamCase{"Stopped", true}),
                         [](const auto& info) { return std::string(info.param.name); });
