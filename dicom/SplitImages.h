#pragma once
// Cuts a multi-image DICOM file into one file per image by copying the
// source's bytes unchanged: each output holds the shared elements (from the
// data-set start to the first item header) followed by one item's elements
// (item header and delimiter left out), with no preamble and no "DICM".
//
// Threads: the UI thread (series export), through its own stream.
#include <string>

// Writes targetFile's path without extension + "-" + k ("%4.4d") + extension,
// for k = 1, 2, ... in the order of the item delimiters; existing files are
// overwritten, targetFile itself is not written. Raises "EDicomError No pixel
// data." for a source without pixel data, EFOpenError / EFCreateError when the
// source cannot be opened or an output cannot be created (files already
// written stay). A source without item delimiters writes nothing.
void SplitImages(const std::string& sourceFile, const std::string& targetFile);
