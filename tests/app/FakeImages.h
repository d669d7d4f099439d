#pragma once
// Frames for the display tests, built in memory: 8-bit grey images that
// carry a window and a sample range like decoded DICOM images, and plain
// images without a window like TIFF pages.
#include "IWindowAdapter.h"
#include "TDisplayForm.h"
#include "TDibGraphic.h"
#include "TStack.h"

#include <QEvent>
#include <QPoint>

#include <memory>

class FakeDicom : public TDibGraphic {
public:
    int Center = 128;
    int Width = 256;
    int MinValue = 0;
    int MaxValue = 0;
    int SetWindowCalls = 0;
    // Rebuilds the grey palette: black at or below centre - width/2, white
    // from there + width, linear between.
    void SetWindow(int center, int width);
};

class FakeWindowAdapter : public IWindowAdapter {
public:
    bool HasWindow(const TDibGraphic& image) const override;
    void GetWindow(const TDibGraphic& image, int& center, int& width) const override;
    void SetWindow(TDibGraphic& image, int center, int width) const override;
    void GetSampleRange(const TDibGraphic& image, int& minValue, int& maxValue) const override;
};

// A width x height grey frame whose every pixel is value.
std::unique_ptr<FakeDicom> MakeDicom(int width, int height, uint8_t value = 128, int lo = 0, int hi = 0);
// A true-colour frame of one colour, without a window.
std::unique_ptr<TDibGraphic> MakePlain(int width, int height, QRgb color);
// A stack of count such grey frames.
std::unique_ptr<TStack> MakeStack(int count, int width, int height, const std::string& source = "series-key");

// A mouse press, move or release handed to the image view's handlers.
void SendMouse(TDisplayForm& form, QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons);
