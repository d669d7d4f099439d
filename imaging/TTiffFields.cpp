#include "TTiffFields.h"

#include "ETiffError.h"

#include <string>

namespace {
[[noreturn]] void Refused(const char* operation, ttag_t tag)
{
    RaiseTiffError(std::string(operation) + ": Tag = " + std::to_string(tag));
}
} // namespace

std::optional<uint16_t> TTiffFields::TryU16(ttag_t tag) const
{
    uint16_t value = 0;
    if (!TIFFGetField(m_tif, tag, &value))
        return std::nullopt;
    return value;
}

std::optional<uint32_t> TTiffFields::TryU32(ttag_t tag) const
{
    uint32_t value = 0;
    if (!TIFFGetField(m_tif, tag, &value))
        return std::nullopt;
    return value;
}

std::optional<float> TTiffFields::TryFloat(ttag_t tag) const
{
    float value = 0;
    if (!TIFFGetField(m_tif, tag, &value))
        return std::nullopt;
    return value;
}

uint16_t TTiffFields::GetU16(ttag_t tag) const
{
    const auto value = TryU16(tag);
    if (!value)
        Refused("TIFFGetField", tag);
    return *value;
}

uint32_t TTiffFields::GetU32(ttag_t tag) const
{
    const auto value = TryU32(tag);
    if (!value)
        Refused("TIFFGetField", tag);
    return *value;
}

void TTiffFields::GetColorMap(uint16_t** red, uint16_t** green, uint16_t** blue) const
{
    if (!TIFFGetField(m_tif, TIFFTAG_COLORMAP, red, green, blue) || !*red || !*green || !*blue)
        Refused("TIFFGetField3", TIFFTAG_COLORMAP);
}

void TTiffFields::SetInt(ttag_t tag, uint32_t value) const
{
    if (!TIFFSetField(m_tif, tag, value))
        Refused("TIFFSetIntField", tag);
}

void TTiffFields::SetFloat(ttag_t tag, double value) const
{
    if (!TIFFSetField(m_tif, tag, value))
        Refused("TIFFSetFloatField", tag);
}

void TTiffFields::SetText(ttag_t tag, const char* value) const
{
    if (!TIFFSetField(m_tif, tag, value))
        Refused("TIFFSetField", tag);
}

void TTiffFields::SetColorMap(uint16_t* red, uint16_t* green, uint16_t* blue) const
{
    if (!TIFFSetField(m_tif, TIFFTAG_COLORMAP, red, green, blue))
        RaiseTiffError("TIFFSetColormap");
}
