#include "FakeImages.h"

#include <QMouseEvent>

#include <algorithm>

void FakeDicom::SetWindow(int center, int width)
{
    ++SetWindowCalls;
    Center = center;
    Width = width;
    const int low = center - width / 2;
    TLogPalette* pal = LogPalette();
    for (int i = 0; i < 256; ++i) {
        int v;
        if (i <= low)
            v = 0;
        else if (i >= low + width)
            v = 255;
        else
            v = std::clamp((i - low) * 255 / std::max(width, 1), 0, 255);
        pal->palPalEntry[i] = TPaletteEntry{uint8_t(v), uint8_t(v), uint8_t(v), 0};
    }
    RebuildPixelStore();
}

namespace {
FakeDicom* AsFake(const TDibGraphic& image) { return dynamic_cast<FakeDicom*>(const_cast<TDibGraphic*>(&image)); }
} // namespace

bool FakeWindowAdapter::HasWindow(const TDibGraphic& image) const { return AsFake(image) != nullptr; }

void FakeWindowAdapter::GetWindow(const TDibGraphic& image, int& center, int& width) const
{
    FakeDicom* d = AsFake(image);
    center = d ? d->Center : 128;
    width = d ? d->Width : 256;
}

void FakeWindowAdapter::SetWindow(TDibGraphic& image, int center, int width) const
{
    if (FakeDicom* d = AsFake(image))
        d->SetWindow(center, width);
}

void FakeWindowAdapter::GetSampleRange(const TDibGraphic& image, int& minValue, int& maxValue) const
{
    FakeDicom* d = AsFake(image);
    minValue = d ? d->MinValue : 0;
    maxValue = d ? d->MaxValue : 0;
}

std::unique_ptr<FakeDicom> MakeDicom(int width, int height, uint8_t value, int lo, int hi)
{
    auto img = std::make_unique<FakeDicom>();
    img->NewImage(width, height, ifGray256, nullptr, 72, 72);
    for (int y = 0; y < height; ++y)
        std::fill_n(img->ScanLine(y), width, value);
    img->MinValue = lo;
    img->MaxValue = hi;
    return img;
}

std::unique_ptr<TDibGraphic> MakePlain(int width, int height, QRgb color)
{
    auto img = std::make_unique<TDibGraphic>();
    img->NewImage(width, height, ifTrueColor, nullptr, 72, 72);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            img->SetPixel(x, y, color & 0xFFFFFF);
    return img;
}

std::unique_ptr<TStack> MakeStack(int count, int width, int height, const std::string& source)
{
    auto stack = std::make_unique<TStack>();
    stack->Source = source;
    for (int i = 0; i < count; ++i)
        stack->FrameList.push_back(MakeDicom(width, height, uint8_t(i * 10)));
    return stack;
}

void SendMouse(TDisplayForm& form, QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    QMouseEvent e(type, QPointF(pos), QPointF(pos), button, buttons, Qt::NoModifier);
    if (type == QEvent::MouseButtonPress)
        form.PaintBox1MouseDown(&e);
    else if (type == QEvent::MouseMove)
        form.PaintBox1MouseMove(&e);
    else
        form.PaintBox1MouseUp(&e);
}
