#pragma once
// Checked tag access: every get and set that the library refuses raises
// ETiffError naming the operation and the tag ("TIFFGetField: Tag = 256").
// The Try getters return nothing for an absent tag instead, for the tags
// that have a default. Called on the thread that owns the handle.
#include <tiffio.h>

#include <cstdint>
#include <optional>

class TTiffFields {
public:
    explicit TTiffFields(TIFF* tif) : m_tif(tif) {}

    uint16_t GetU16(ttag_t tag) const;
    uint32_t GetU32(ttag_t tag) const;
    std::optional<uint16_t> TryU16(ttag_t tag) const;
    std::optional<uint32_t> TryU32(ttag_t tag) const;
    std::optional<float> TryFloat(ttag_t tag) const;
    // The three arrays of the colour map; raises "TIFFGetField3: Tag = ".
    void GetColorMap(uint16_t** red, uint16_t** green, uint16_t** blue) const;

    void SetInt(ttag_t tag, uint32_t value) const;     // "TIFFSetIntField: Tag = "
    void SetFloat(ttag_t tag, double value) const;     // "TIFFSetFloatField: Tag = "
    void SetText(ttag_t tag, const char* value) const; // "TIFFSetField: Tag = "
    // The three arrays, each 2^BitsPerSample long; raises "TIFFSetColormap".
    void SetColorMap(uint16_t* red, uint16_t* green, uint16_t* blue) const;

private:
    TIFF* m_tif;
};
