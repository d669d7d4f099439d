#include "TImageTransform.h"

#include "Exception.h"
#include "Format.h"
#include "TDibGraphic.h"

void TImageTransform::Apply(TDibGraphic& image)
{
    TDibGraphic temporary;
    ApplyOnDest(image, temporary);
    image.Assign(&temporary);
}

void TImageTransform::ApplyOnDest(TDibGraphic&, TDibGraphic&)
{
    throw EKerbelinError(Format("Method %s not implemented for %s class", "\"ApplyOnDest\"", ClassName()));
}

void TImageTransform::Progress(int64_t current, int64_t start, int64_t end)
{
    if (!OnTransformProgress) {
        m_lastPercent = 0;
        return;
    }
    int64_t percent = 100;
    if (end != start)
        percent = (current - start) * 100 / (end - start);
    if (percent < 0)
        percent = 0;
    if (percent > 100)
        percent = 100;
    if (percent != m_lastPercent) {
        m_lastPercent = uint8_t(percent);
        OnTransformProgress(this, int(percent));
    }
}
