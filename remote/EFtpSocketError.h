#pragma once
// Failures of the network connection itself: connect, send, receive and
// time-out. The download worker ends a case at once on this kind.
// Threads: raised on the thread of the failing call; no shared state.
#include "Exception.h"

CALDRIS_EXCEPTION(EFtpSocketError, Exception);
