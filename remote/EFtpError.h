#pragma once
// Failures of the FTP facility that are not socket errors: unexpected
// replies, a closed connection, an aborted transfer, bad names.
#include "Exception.h"

CALDRIS_EXCEPTION(EFtpError, Exception);
