#include "ETiffError.h"

void RaiseTiffError(const std::string& text) { throw ETiffError("ETiffError " + text); }
