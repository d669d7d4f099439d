#pragma once
// Cuts a multi-image DICOM file into one file per image by copying the
// source's bytes unchanged: each output holds the shared elements (from the
// data-set start to the first item header) followed by one item's elements
// (item header and delimiter left out), with no preamble and no "DICM".
//
// Threads: the UI thread (series export), through its own stream.
#include <string>
#include <vector>

// Writes targetFile's path without extension + "-" + k ("%4.4d") + extension,
// for k = 1, 2, ... in the order of the item delimiters; existing files are
// overwritten, targetFile itself is not written. Raises "EDicomError No pixel
// data." for a source without pixel data, EFOpenError / EFCreateError when the
// source cannot be opened or an output cannot be created (files already
// written stay). A source without item delimiters writes nothing.
void SplitImages(const std::string& sourceFile, const std::string& targetFile);

// The name of image k by the rule above: "%s-%4.4d%s" of targetFile's path
// without extension, k and the extension.
std::string NumberedFileName(const std::string& targetFile, int k);

// Copies each source file byte for byte, in the given order, to the numbered
// names of targetFile (k = 1, 2, ...); for a series made of single-image
// files. Raises EFOpenError / EFCreateError as above (files already written
// stay); a numbered name that is one of the sources themselves raises
// EFCreateError before anything is written, so no source is ever overwritten.
void CopyImageFiles(const std::vector<std::string>& sourceFiles, const std::string& targetFile);
