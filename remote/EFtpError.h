#pragma once
// Failures of the FTP facility that are not socket errors: unexpected
// replies, a closed connection, an aborted transfer, bad names.
// Threads: raised on the thread of the failing call; no shared state.
#include "Exception.h"

CALDRIS_EXCEPTION(EFtpError, Exception);
