// Viewer speed, offscreen: window and level dragged on a 2048 x 2048 16-bit
// image (SetWindow plus the repaint of a 1000 x 800 view) at the fitted zoom
// and at 400 %, beside one plain QPainter::drawImage of the same visible area;
// and the frames per second of cine at speed 10 through a 300-frame
// 512 x 512 series. Prints medians in milliseconds.
#include "DicomWriter.h"
#include "MulDiv.h"
#include "TAquaSlider.h"
#include "TDicomGraphic.h"
#include "TDicomStream.h"
#include "TDicomWindowAdapter.h"
#include "TDisplayForm.h"
#include "ToolOptions.h"
#include "TPaintBox.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

std::unique_ptr<TDicomGraphic> Image16(const QString& dir, int size)
{
    std::vector<int16_t> samples(size_t(size) * size_t(size));
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const double r = std::hypot(x - size / 2.0, y - size / 2.0);
            samples[size_t(y) * size_t(size) + size_t(x)] =
                int16_t(r < size * 0.45 ? 1000 + 700 * std::cos(r / (size / 40.0)) : 20);
        }
    const std::string path = (dir + "/image.dcm").toStdString();
    DicomWriter::Gray16(size, size, samples).Save(path);
    TDicomStream stream(path);
    stream.ScanImages();
    auto image = std::make_unique<TDicomGraphic>();
    image->LoadImage(stream, 1);
    return image;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void WindowDrag(TDisplayForm& form, const IWindowAdapter& windows, int zoom, const char* label)
{
    TStack& stack = *form.Model.Stacks[0];
    TDibGraphic& image = *stack.FrameList[0];
    stack.Zoom = zoom;
    const int w = MulDiv(image.GetWidth(), zoom, 100), h = MulDiv(image.GetHeight(), zoom, 100);
    stack.OffsetX = (1000 - w) / 2;
    stack.OffsetY = (800 - h) / 2;
    QImage view(1000, 800, QImage::Format_RGB32);
    std::vector<double> step, plain;
    for (int i = 0; i < 300; ++i) {
        QElapsedTimer t;
        t.start();
        windows.SetWindow(image, 60 + i % 120, 40 + i % 200);
        {
            QPainter p(&view);
            form.PaintBox1Paint(p);
        }
        step.push_back(t.nsecsElapsed() / 1e6);
    }
    // The same visible part of the image, drawn once by the toolkit alone.
    QImage source = image.SaveToClipboardFormat().convertToFormat(QImage::Format_Indexed8);
    for (int i = 0; i < 300; ++i) {
        QElapsedTimer t;
        t.start();
        {
            QPainter p(&view);
            p.setRenderHint(QPainter::SmoothPixmapTransform);
            p.drawImage(QRect(stack.OffsetX, stack.OffsetY, w, h), source);
        }
        plain.push_back(t.nsecsElapsed() / 1e6);
    }
    std::printf("%-34s %7.2f ms per step (%4.0f steps/s); plain drawImage %7.2f ms\n", label, Median(step),
                1000.0 / Median(step), Median(plain));
}

} // namespace



int main(int argc, char** argv)
{
    const char* usage = "usage: viewer_bench\n"
                        "Times window and level with repaint on a 2048 x 2048 image and the cine frame rate.\n";
    if (const int status = AnswerToolOptions(argc, argv, usage); status >= 0)
        return status;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    TDicomWindowAdapter windows;

    {
        TDisplayForm form(windows);
        form.PaintBox1->setGeometry(0, 0, 1000, 800);
        auto stack = std::make_unique<TStack>();
        stack->FrameList.push_back(Image16(dir.path(), 2048));
        form.Model.Stacks.push_back(std::move(stack));
        form.Model.ShownFrames = &form.Model.Stacks[0]->FrameList;
        {
            QImage fit(1000, 800, QImage::Format_RGB32);
            QPainter p(&fit);
            form.Model.Stacks[0]->Zoom = 0;
            form.PaintBox1Paint(p);
        }
        const int fitted = form.Model.Stacks[0]->Zoom;
        char label[64];
        std::snprintf(label, sizeof label, "2048x2048 16-bit at fit (%d %%):", fitted);
        WindowDrag(form, windows, fitted, label);
        WindowDrag(form, windows, 400, "2048x2048 16-bit at 400 %:");
    }

    {
        TDisplayForm form(windows);
        form.resize(1000, 800);
        form.PaintBox1->setGeometry(0, 0, 1000, 800);
        auto stack = std::make_unique<TStack>();
        auto first = Image16(dir.path(), 512);
        for (int i = 0; i < 300; ++i) {
            auto frame = std::make_unique<TDicomGraphic>();
            frame->Assign(first.get());
            stack->FrameList.push_back(std::move(frame));
        }
        form.Model.Stacks.push_back(std::move(stack));
        form.Model.ShownFrames = &form.Model.Stacks[0]->FrameList;
        form.TrackBar1->SetMax(299);
        form.show();
        QApplication::processEvents();
        int paints = 0;
        auto paint = form.PaintBox1->OnPaint;
        form.PaintBox1->OnPaint = [&](TPaintBox* box, QPainter& canvas) {
            ++paints;
            paint(box, canvas);
        };
        form.TrackBar2->SetPosition(10);
        QElapsedTimer t;
        t.start();
        const QDeadlineTimer run(3000);
        while (!run.hasExpired())
            QApplication::processEvents(QEventLoop::AllEvents, 50);
        const int interval = form.Timer2->interval();
        const double fps = paints * 1000.0 / double(t.elapsed());
        form.TrackBar2->SetPosition(0);
        std::printf("cine at speed 10, 300 x 512x512:   %.0f frames per second shown (timer %d ms)\n", fps, interval);
    }
    return 0;
}
