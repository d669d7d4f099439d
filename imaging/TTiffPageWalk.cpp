#include "TTiffPageWalk.h"

#include "TStream.h"
#include "TTiffPageReader.h"

namespace {

TStream& AtStart(TStream& stream)
{
    stream.SetPosition(0);
    return stream;
}

} // namespace

TTiffPageWalk::TTiffPageWalk(TStream& stream) : m_tif(AtStart(stream), "r") {}

void TTiffPageWalk::Read(TTiffGraphic& image) { TTiffPageReader(image).ReadCurrent(m_tif); }

bool TTiffPageWalk::Next()
{
    if (!TIFFReadDirectory(m_tif))
        return false;
    ++m_page;
    return true;
}
