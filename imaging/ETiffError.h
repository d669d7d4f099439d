#pragma once
// TIFF reading and writing failures. Library steps raise "ETiffError " + the
// step's text through RaiseTiffError; a few texts are raised as they stand.
// Any thread may raise it.
#include "Exception.h"

#include <string>

CALDRIS_EXCEPTION(ETiffError, Exception);

// Raises ETiffError with the class name, a blank and the text.
[[noreturn]] void RaiseTiffError(const std::string& text);
