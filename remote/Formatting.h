#pragma once
// Number, size and time texts of the download manager, in the user's locale.
#include <cstdint>
#include <string>

// "%1.0n": the number rounded to a whole, with the locale's thousands separator.
std::string FormatNumber(double value);
// "%1.0n   " below 1024, "%1.0n KB" below 1 GiB, "%1.0n MB" from there.
std::string FormatSize(int64_t bytes);
// "less than a minute", "about a minute" or "%1.0n minutes".
std::string FormatTimeLeft(uint32_t milliseconds);
// A study folder's date field as "ddd MMM d, yyyy", or the dot-free field when
// it is no valid date.
std::string FormatCaseDate(const std::string& dotFreeField);
