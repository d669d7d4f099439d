#pragma once
#include "Exception.h"

#include <string>

// DICOM decoding failure; its message is "EDicomError " + the text.
CALDRIS_EXCEPTION(EDicomError, Exception);

// Raises EDicomError with the class name, a blank and the text.
[[noreturn]] void RaiseDicomError(const std::string& text);
