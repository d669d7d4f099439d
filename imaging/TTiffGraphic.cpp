#include "TTiffGraphic.h"

#include "Exception.h"
#include "Format.h"
#include "ImageRegistry.h"
#include "TMemoryStream.h"
#include "TTiffHandle.h"
#include "TTiffPageReader.h"
#include "TTiffPageWriter.h"

std::unique_ptr<TDibGraphic> TTiffGraphic::Create() const { return std::make_unique<TTiffGraphic>(); }

void TTiffGraphic::Assign(const TGraphic* source)
{
    TDibGraphic::Assign(source);
    if (const auto* tiff = dynamic_cast<const TTiffGraphic*>(source))
        RowsPerStrip = tiff->RowsPerStrip;
}

void TTiffGraphic::NewImage(int width, int height, TImageFormat format, const TLogPalette* palette, uint16_t xDpi,
                            uint16_t yDpi)
{
    TDibGraphic::NewImage(width, height, format, palette, xDpi, yDpi);
    m_compression = format == ifBlackWhite ? tcGroup4 : tcPackBits;
}

void TTiffGraphic::SetCompression(TTiffCompression compression)
{
    if (!TiffCompressionAllowed(compression, ImageFormat()))
        throw EKerbelinError(Format("%s compression not supported with %s images",
                                    TiffCompressionDescription(compression), FormatDescription(ImageFormat())));
    m_compression = compression;
}

void TTiffGraphic::SaveToStream(TStream& stream)
{
    if (stream.Position() == 0) {
        TTiffPageWriter(*this).Write(stream, "w");
        return;
    }
    // The TIFF's offsets count from its own first byte: build it apart, then copy it in.
    TMemoryStream temp;
    TTiffPageWriter(*this).Write(temp, "w");
    temp.SaveToStream(stream);
}

void TTiffGraphic::AppendToStream(TStream& stream)
{
    if (stream.Size() == 0) {
        SaveToStream(stream);
        return;
    }
    stream.SetPosition(0);
    TTiffPageWriter(*this).Write(stream, "a");
}

int TTiffGraphic::GetImageCount(TStream& stream)
{
    TTiffHandle tif(stream, "r");
    TIFFSetDirectory(tif, 0);
    int count = 1;
    while (TIFFReadDirectory(tif))
        ++count;
    return count;
}

void TTiffGraphic::LoadImage(TStream& stream, int page)
{
    if (stream.Position() != 0) {
        // Read a copy that starts where the TIFF starts.
        TMemoryStream temp;
        const int64_t remaining = stream.Size() - stream.Position();
        if (remaining > 0) // a count of 0 would copy the whole stream
            temp.CopyFrom(stream, remaining);
        temp.SetPosition(0);
        TTiffPageReader(*this).Read(temp, page);
        return;
    }
    stream.SetPosition(0);
    TTiffPageReader(*this).Read(stream, page);
}

void RegisterTiffGraphic()
{
    TTiffHandle::SilenceLibrary();
    auto create = [] { return std::make_unique<TTiffGraphic>(); };
    RegisterImageExtension("TIF", "TIFF file", create);
    RegisterImageExtension("TIFF", "TIFF file", create);
}
