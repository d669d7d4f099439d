#pragma once
// An operation that changes an image in place or into a second image,
// reporting progress as a percentage. Runs on the thread that owns the image.
#include <cstdint>
#include <functional>

class TDibGraphic;

class TImageTransform {
public:
    virtual ~TImageTransform() = default;
    virtual const char* ClassName() const { return "TImageTransform"; }

    // Applies into a temporary image through ApplyOnDest, then assigns back.
    virtual void Apply(TDibGraphic& image);
    // Leaves source unchanged and puts the result into dest.
    virtual void ApplyOnDest(TDibGraphic& source, TDibGraphic& dest);

    std::function<void(TImageTransform*, int percent)> OnTransformProgress;

protected:
    // Reports (current - start) * 100 div (end - start), limited to 0..100,
    // once per distinct percentage.
    void Progress(int64_t current, int64_t start, int64_t end);
    uint8_t m_lastPercent = 0;
};
