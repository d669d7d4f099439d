#pragma once
// A settings file that cannot be written.
#include "Exception.h"

CALDRIS_EXCEPTION(EProfileError, Exception);
