#include "TJpegWriter.h"

#include "Jpeg8Support.h"

namespace {

bool Create(jpeg_compress_struct* cinfo, TJpeg8ErrorMgr* err, TStream* stream)
{
    if (setjmp(err->jump))
        return false;
    jpeg_CreateCompress(cinfo, JPEG_LIB_VERSION, sizeof(jpeg_compress_struct));
    JpegStreamDestination(cinfo, *stream);
    return true;
}

bool Start(jpeg_compress_struct* cinfo, TJpeg8ErrorMgr* err, const TJpegWriteOptions* o)
{
    if (setjmp(err->jump))
        return false;
    cinfo->image_width = JDIMENSION(o->Width);
    cinfo->image_height = JDIMENSION(o->Height);
    cinfo->input_components = o->Components;
    cinfo->in_color_space = o->Components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(cinfo);
    cinfo->density_unit = 1;
    cinfo->X_density = o->XDotsPerInch;
    cinfo->Y_density = o->YDotsPerInch;
    jpeg_set_quality(cinfo, o->Quality, TRUE);
    if (o->Progressive)
        jpeg_simple_progression(cinfo);
    cinfo->optimize_coding = o->OptimizeCoding ? TRUE : FALSE;
    jpeg_start_compress(cinfo, TRUE);
    return true;
}

bool WriteRow(jpeg_compress_struct* cinfo, TJpeg8ErrorMgr* err, JSAMPROW row)
{
    if (setjmp(err->jump))
        return false;
    JSAMPROW rows[1] = {row};
    jpeg_write_scanlines(cinfo, rows, 1);
    return true;
}

bool Finish(jpeg_compress_struct* cinfo, TJpeg8ErrorMgr* err)
{
    if (setjmp(err->jump))
        return false;
    jpeg_finish_compress(cinfo);
    return true;
}

} // namespace

struct TJpegWriter::Impl {
    TJpeg8ErrorMgr err{};
    jpeg_compress_struct cinfo{};

    ~Impl() { jpeg_destroy_compress(&cinfo); }
};

TJpegWriter::TJpegWriter(TStream& stream) : m(std::make_unique<Impl>())
{
    m->cinfo.err = InitJpeg8Errors(m->err);
    if (!Create(&m->cinfo, &m->err, &stream))
        ThrowJpeg8Error(m->err);
}

TJpegWriter::~TJpegWriter() = default;

void TJpegWriter::Start(const TJpegWriteOptions& options)
{
    if (!::Start(&m->cinfo, &m->err, &options))
        ThrowJpeg8Error(m->err);
}

void TJpegWriter::WriteScanline(const uint8_t* row)
{
    // The codec only reads the row; its API simply lacks const.
    if (!WriteRow(&m->cinfo, &m->err, const_cast<JSAMPROW>(row)))
        ThrowJpeg8Error(m->err);
}

void TJpegWriter::Finish()
{
    if (!::Finish(&m->cinfo, &m->err))
        ThrowJpeg8Error(m->err);
}
