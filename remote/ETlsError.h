#pragma once
// A protected (TLS) connection to the case server could not be made: the
// server refused it, or its certificate could not be verified. A kind of
// connection failure; the text names the reason.
// Threads: raised on the thread of the failing call; no shared state.
#include "EFtpSocketError.h"

CALDRIS_EXCEPTION(ETlsError, EFtpSocketError);
