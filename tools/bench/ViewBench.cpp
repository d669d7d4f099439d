// view_bench: views one case while it downloads, headless, as "View Case"
// does on a Remote row: the case goes to the head of the queue, the download
// worker fetches it and the case loader follows its finished files. Prints
// "FIRST_IMAGE_SECONDS ALL_SECONDS FRAMES STACKS": from "View Case" to the
// first image in the case model and to the last one, and the model's counts.
// The cache goes to the user's cache folder, so point XDG_CACHE_HOME at a
// scratch folder; the settings file that CALDRIS_INI names is read as the
// program reads it.
#include "CaseRow.h"
#include "ILoaderClient.h"
#include "TCaseModel.h"
#include "TCatalogue.h"
#include "TFetchThread.h"
#include "TLoader.h"
#include "BenchServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <string>

namespace {

// Notes when the first and the last image reach the model.
class Clock : public ILoaderClient {
public:
    Clock(const TCaseModel& model, const QElapsedTimer& timer) : m_model(model), m_timer(timer) {}
    void PreviewChanged(int) override {}
    void FrameAdded() override
    {
        size_t frames = 0;
        for (const auto& stack : m_model.Stacks)
            frames += stack->FrameList.size();
        if (frames == Frames)
            return;
        Frames = frames;
        Last = Seconds();
        if (First < 0)
            First = Last;
    }
    void NotEnoughMemory() override {}
    void LoaderDone() override { Done = true; }
    void CaseIncomplete() override { Incomplete = true; }

    double First = -1;
    double Last = -1;
    size_t Frames = 0;
    bool Done = false;
    bool Incomplete = false;

private:
    double Seconds() const { return double(m_timer.nsecsElapsed()) / 1e9; }
    const TCaseModel& m_model;
    const QElapsedTimer& m_timer;
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const char* usage = "usage: view_bench PORT USER PASSWORD ROOT CASEKEY\n"
                        "Views one case of 127.0.0.1:PORT while it downloads into $XDG_CACHE_HOME/caldris/USER/\n"
                        "and prints \"FIRST_IMAGE_SECONDS ALL_SECONDS FRAMES STACKS\".\n";
    TCatalogue catalogue;
    if (const int status = ReadServerArguments(argc, argv, 6, usage, catalogue); status >= 0)
        return status;
    const std::string key = argv[5];
    catalogue.List.AddCaseRow(key, rlRemote);

    // The worker idles with the program's pause: "View Case" wakes it.
    TFetchThread worker(catalogue);
    worker.start();
    TCaseModel model;
    QElapsedTimer timer;
    Clock clock(model, timer);
    timer.start();
    catalogue.ViewWhileDownloading(key);
    TLoader::Start(model, clock, catalogue.CaseFolder(key), TLoadLimits::Default(),
                   catalogue.FollowedIn(catalogue.CaseFolder(key)));
    // The UI thread sleeps until the next synchronised call, as in the program.
    while (!clock.Done)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    worker.Terminate();

    std::printf("%.4f %.4f %zu %zu\n", clock.First, clock.Last, clock.Frames, model.Stacks.size());
    if (clock.Incomplete)
        std::printf("incomplete case\n");
    return clock.Incomplete ? 1 : 0;
}
