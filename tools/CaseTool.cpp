// caldris-case: the case loader and the series export without a window, for
// scripts and checks. Runs with any Qt platform plugin or none.
#include "CaseJson.h"
#include "ILoaderClient.h"
#include "Program.h"
#include "SeriesSave.h"
#include "TCaseModel.h"
#include "TLoader.h"
#include "ToolOptions.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QImage>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char* kUsage =
    "usage: caldris-case info FOLDER\n"
    "       caldris-case render FOLDER SERIES FRAME OUT.png\n"
    "       caldris-case export FOLDER SERIES TARGET\n"
    "       caldris-case --help | --version\n"
    "\n"
    "  info    loads the case folder as the viewer does and prints its series as JSON\n"
    "  render  writes frame FRAME of series SERIES (both from 0) as shown at 100 % to a PNG file\n"
    "  export  saves series SERIES to TARGET: a multi-page TIFF file when TARGET ends in .tif,\n"
    "          numbered DICOM files otherwise: cut from the series' source file, or copies\n"
    "          of its single-image files in display order\n";

// Runs the loader to its end on the calling (UI) thread's event loop.
class HeadlessClient : public ILoaderClient {
public:
    explicit HeadlessClient(TCaseModel& model) : m_model(model) {}
    void PreviewChanged(int count) override { previewCount = count; }
    void FrameAdded() override
    {
        if (firstImageMs < 0) {
            for (const auto& s : m_model.Stacks)
                if (!s->FrameList.empty())
                    firstImageMs = clock.elapsed();
        }
    }
    void NotEnoughMemory() override
    {
        std::fputs("caldris-case: Not enough memory to load every image of this case\n", stderr);
    }
    void LoaderDone() override
    {
        totalMs = clock.elapsed();
        loop.quit();
    }
    int previewCount = 0;
    qint64 firstImageMs = -1;
    qint64 totalMs = 0;
    QElapsedTimer clock;
    QEventLoop loop;

private:
    TCaseModel& m_model;
};

int Fail(const std::string& message)
{
    std::fprintf(stderr, "caldris-case: %s\n", message.c_str());
    return 1;
}

bool ParseIndex(const char* text, int& value)
{
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (!*text || *end || v < 0 || v > 1000000)
        return false;
    value = int(v);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
        std::puts(kFullTitle);
        return 0;
    }
    if (const int status = AnswerToolOptions(argc, argv, kUsage); status >= 0)
        return status;
    const std::string command = argc > 1 ? argv[1] : "";
    const int expected = command == "info" ? 3 : command == "render" ? 6 : command == "export" ? 5 : -1;
    if (expected < 0 || argc != expected) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const std::string folder = argv[2];
    if (!QFileInfo(QString::fromStdString(folder)).isDir())
        return Fail("no such case folder: " + folder);

    TCaseModel model;
    HeadlessClient client(model);
    client.clock.start();
    TLoader::Start(model, client, folder);
    client.loop.exec();

    if (command == "info") {
        std::fputs(CaseJson(model, client.previewCount, client.firstImageMs, client.totalMs).c_str(), stdout);
        std::fputc('\n', stdout);
        return 0;
    }
    int series = 0;
    if (!ParseIndex(argv[3], series) || series >= int(model.Stacks.size()))
        return Fail(std::string("series out of range: ") + argv[3]);
    TStack& stack = *model.Stacks[size_t(series)];
    try {
        if (command == "render") {
            int frame = 0;
            if (!ParseIndex(argv[4], frame) || frame >= int(stack.FrameList.size()))
                return Fail(std::string("frame out of range: ") + argv[4]);
            const QImage shown = stack.FrameList[size_t(frame)]->SaveToClipboardFormat().convertToFormat(
                QImage::Format_RGB888);
            if (!shown.save(QString::fromLocal8Bit(argv[5]), "PNG"))
                return Fail(std::string("cannot write ") + argv[5]);
            return 0;
        }
        ExportStack(stack, stack.FrameList.size(), argv[4]);
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
    return 0;
}
