// Harness of the TIFF reader: the page count and every page, as the case
// loader reads them.
#include "FuzzTargets.h"

#include "Exception.h"
#include "TMemoryStream.h"
#include "TTiffGraphic.h"
#include "TTiffPageWalk.h"

int FuzzTiff(const uint8_t* data, size_t size)
{
    TMemoryStream stream;
    stream.Write(data, int64_t(size));
    try {
        stream.SetPosition(0);
        TTiffGraphic().GetImageCount(stream);
        TTiffPageWalk walk(stream);
        do {
            TTiffGraphic page;
            try {
                walk.Read(page);
            } catch (const Exception&) {
            }
        } while (walk.Next());
    } catch (const Exception&) {
    }
    return 0;
}
