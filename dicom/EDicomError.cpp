#include "EDicomError.h"

void RaiseDicomError(const std::string& text) { throw EDicomError("EDicomError " + text); }
