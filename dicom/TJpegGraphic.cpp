#include "TJpegGraphic.h"

#include "EJpegError.h"
#include "Format.h"
#include "ImageRegistry.h"
#include "TJpegReader.h"
#include "TJpegWriter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

// Header density in dots per inch: unit 1 as stored, unit 2 (per cm) times
// 2.54 rounded half to even, otherwise 0. A value beyond 16 bits gives 0.
uint16_t DensityDpi(int unit, int density)
{
    long double dpi;
    if (unit == 1)
        dpi = density;
    else if (unit == 2)
        dpi = std::nearbyint(static_cast<long double>(density) * 2.54L);
    else
        return 0;
    return (dpi < 0 || dpi > 65535) ? 0 : uint16_t(dpi);
}

} // namespace

std::unique_ptr<TDibGraphic> TJpegGraphic::Create() const { return std::make_unique<TJpegGraphic>(); }

void TJpegGraphic::LoadImage(TStream& stream, int)
{
    TJpegReader reader(stream);
    reader.ReadHeader(true); // colour rows arrive in the image model's order
    reader.StartDecompress();
    const int components = reader.OutputComponents();
    if (components != 1 && components != 3)
        throw EJpegError(Format("Invalid number of samples, %d", components));
    NewImage(reader.OutputWidth(), reader.OutputHeight(), components == 1 ? ifGray256 : ifTrueColor, nullptr,
             DensityDpi(reader.DensityUnit(), reader.XDensity()), DensityDpi(reader.DensityUnit(), reader.YDensity()));
    for (int y = 0; y < reader.OutputHeight(); ++y) {
        reader.ReadScanline(ScanLine(y));
    }
    reader.FinishDecompress();
}

void TJpegGraphic::SaveToStream(TStream& stream)
{
    const TImageFormat format = ImageFormat();
    if (format != ifGray256 && format != ifTrueColor)
        throw EJpegError("JPEG image must be gray scale or true color");
    TJpegWriteOptions options;
    options.Width = GetWidth();
    options.Height = GetHeight();
    options.Components = format == ifGray256 ? 1 : 3;
    options.XDotsPerInch = XDotsPerInch();
    options.YDotsPerInch = YDotsPerInch();
    options.Quality = Quality;
    options.Progressive = Progressive;
    options.OptimizeCoding = OptimizeCoding;

    const size_t rowBytes = size_t(options.Width) * size_t(options.Components);
    std::vector<uint8_t> row(rowBytes);
    TJpegWriter writer(stream);
    writer.Start(options);
    for (int y = 0; y < options.Height; ++y) {
        std::memcpy(row.data(), ScanLine(y), rowBytes);
        if (options.Components == 3)
            SwapRedBlue(row.data(), rowBytes);
        writer.WriteScanline(row.data());
    }
    writer.Finish();
}

void RegisterJpegGraphic()
{
    RegisterImageExtension("JPG", "JPEG", [] { return std::make_unique<TJpegGraphic>(); });
    RegisterImageExtension("JPEG", "JPEG", [] { return std::make_unique<TJpegGraphic>(); });
}
