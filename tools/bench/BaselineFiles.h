#pragma once
// Shared by the baseline programs: the files of a folder, read whole, and the
// value of their last element (the pixel data in the generated cases).
#include <string>
#include <vector>

std::vector<std::string> FolderFiles(const std::string& folder);
// Reads a whole file with one read call.
std::string ReadWhole(const std::string& path);
// Pixel data value of a generated case file: the bytes after the last
// (7FE0,0010) header, little-endian flat encoding.
std::string PixelValue(const std::string& file);
double MedianOf(std::vector<double> v);
