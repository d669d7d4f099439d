#pragma once
#include "Exception.h"

// Failure of the JPEG image class (component count, save of an unsupported
// format). Codec messages themselves arrive as plain Exception.
CALDRIS_EXCEPTION(EJpegError, Exception);
