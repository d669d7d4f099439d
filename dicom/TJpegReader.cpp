#include "TJpegReader.h"

#include "Jpeg8Support.h"
#include "JpegLimits.h"

namespace {

// Each codec call sits in its own frame with setjmp and nothing that needs
// destruction, so a longjmp back here skips only codec frames.
bool Create(jpeg_decompress_struct* cinfo, TJpeg8ErrorMgr* err, TStream* stream, jpeg_progress_mgr* progress)
{
    if (setjmp(err->jump))
        return false;
    jpeg_CreateDecompress(cinfo, JPEG_LIB_VERSION, sizeof(jpeg_decompress_struct));
    LimitJpeg8Decompress(cinfo, *progress);
    JpegStreamSource(cinfo, *stream);
    return true;
}

bool ReadHeader(jpeg_decompress_struct* cinfo, TJpeg8ErrorMgr* err, bool blueGreenRed)
{
    if (setjmp(err->jump))
        return false;
    jpeg_read_header(cinfo, TRUE);
    cinfo->out_color_space = cinfo->jpeg_color_space == JCS_GRAYSCALE ? JCS_GRAYSCALE
                             : blueGreenRed                            ? JCS_EXT_BGR
                                                                       : JCS_RGB;
    return true;
}

bool Start(jpeg_decompress_struct* cinfo, TJpeg8ErrorMgr* err)
{
    if (setjmp(err->jump))
        return false;
    jpeg_start_decompress(cinfo);
    return true;
}

bool ReadRow(jpeg_decompress_struct* cinfo, TJpeg8ErrorMgr* err, JSAMPROW row)
{
    if (setjmp(err->jump))
        return false;
    JSAMPROW rows[1] = {row};
    jpeg_read_scanlines(cinfo, rows, 1);
    return true;
}

bool Finish(jpeg_decompress_struct* cinfo, TJpeg8ErrorMgr* err)
{
    if (setjmp(err->jump))
        return false;
    jpeg_finish_decompress(cinfo);
    return true;
}

} // namespace

struct TJpegReader::Impl {
    TJpeg8ErrorMgr err{};
    jpeg_decompress_struct cinfo{};
    jpeg_progress_mgr progress{};
    bool created = false;
    int maxWidth = kAnyJpegSize;
    int maxHeight = kAnyJpegSize;

    ~Impl()
    {
        if (created)
            jpeg_destroy_decompress(&cinfo); // frees the source and all codec memory
    }
};

TJpegReader::TJpegReader(TStream& stream) : m(std::make_unique<Impl>())
{
    m->cinfo.err = InitJpeg8Errors(m->err);
    const bool ok = Create(&m->cinfo, &m->err, &stream, &m->progress);
    m->created = true; // destroying a half-created decompressor is safe
    if (!ok)
        ThrowJpeg8Error(m->err);
}

TJpegReader::~TJpegReader() = default;

void TJpegReader::LimitFrame(int width, int height)
{
    m->maxWidth = width;
    m->maxHeight = height;
}

void TJpegReader::ReadHeader(bool blueGreenRed)
{
    if (!::ReadHeader(&m->cinfo, &m->err, blueGreenRed))
        ThrowJpeg8Error(m->err);
    CheckJpegFrame(m->cinfo.image_width, m->cinfo.image_height, m->maxWidth, m->maxHeight);
}

void TJpegReader::StartDecompress()
{
    if (!Start(&m->cinfo, &m->err))
        ThrowJpeg8Error(m->err);
}

int TJpegReader::ImageWidth() const { return int(m->cinfo.image_width); }
int TJpegReader::ImageHeight() const { return int(m->cinfo.image_height); }
int TJpegReader::OutputWidth() const { return int(m->cinfo.output_width); }
int TJpegReader::OutputHeight() const { return int(m->cinfo.output_height); }
int TJpegReader::OutputComponents() const { return m->cinfo.output_components; }
int TJpegReader::DensityUnit() const { return m->cinfo.density_unit; }
int TJpegReader::XDensity() const { return m->cinfo.X_density; }
int TJpegReader::YDensity() const { return m->cinfo.Y_density; }
int TJpegReader::OutputScanline() const { return int(m->cinfo.output_scanline); }
long TJpegReader::Warnings() const { return m->err.pub.num_warnings; }

void TJpegReader::ReadScanline(uint8_t* row)
{
    if (!ReadRow(&m->cinfo, &m->err, row))
        ThrowJpeg8Error(m->err);
}

void TJpegReader::FinishDecompress()
{
    if (!Finish(&m->cinfo, &m->err))
        ThrowJpeg8Error(m->err);
}
