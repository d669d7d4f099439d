#pragma once
// A settings file that cannot be written, is refused, or holds a value that
// must not be guessed.
// Threads: raised on the thread of the failing call; no shared state.
#include "Exception.h"

CALDRIS_EXCEPTION(EProfileError, Exception);
