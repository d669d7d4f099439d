#pragma once
// Reads every page of a TIFF in order on one library handle, so that each
// directory is read once: a walk over n pages costs n directory reads, not
// the n^2 / 2 of choosing each page from the start (TTiffGraphic::LoadImage).
//
// Threads: the walk, its stream and the images it fills belong to the
// calling thread (the case loader's).
#include "TTiffHandle.h"

class TStream;
class TTiffGraphic;

class TTiffPageWalk {
public:
    // The TIFF starts at the stream's first byte; the walk stands on page 1.
    // Raises ETiffError "TIFFOpen" when the stream holds no TIFF.
    explicit TTiffPageWalk(TStream& stream);

    // Reads the page the walk stands on into image; a page that fails raises
    // as TTiffGraphic::LoadImage does, and the walk can go on past it.
    void Read(TTiffGraphic& image);
    // Moves to the next page; false when there is none, or when the next
    // directory cannot be read (where TTiffGraphic::GetImageCount stops too).
    bool Next();
    // The page the walk stands on, from 1.
    int Page() const { return m_page; }

private:
    TTiffHandle m_tif;
    int m_page = 1;
};
