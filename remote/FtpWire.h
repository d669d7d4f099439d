#pragma once
// Small pieces shared by the single connection and the parallel fetch: the
// reading of reply lines and the writing of received bytes.
// Threads: pure functions; any thread.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace FtpWire {

// libcurl 7.88 does not wait on anything between a passive reply and the
// start of its data connection, so its poll would sleep out its own
// one-second timer there; in that gap alone we wake it this often.
constexpr int PassiveGapPollMs = 1;

// 227 (PASV) or 229 (EPSV): a data connection is about to open.
inline bool IsPassiveReply(int code) { return code == 227 || code == 229; }

// The code of a reply's last line ("213 1234"), or 0 for any other line
// (a continuation line, or no reply at all).
int FinalReplyCode(const std::string& line);
// The number of a 213 reply to SIZE; -1 when it holds none or it does not
// fit in 32 bits.
int32_t SizeFromReply(const std::string& text);
// A decimal of at most ten digits that fits in 32 bits, else -1.
int32_t ParseSize(const std::string& digits);
// A libcurl result that means the network failed (connect, send, receive,
// time-out) rather than the server's answer or the file.
bool IsSocketFailure(int curlCode);
// A libcurl result that means the server refused this one command (550 on
// RETR or NLST, say) and the control connection stays as it was.
bool IsRefusedCommand(int curlCode);
// The lines of a listing (NLST names, MLSD entries) in their order: split at
// LF, a CR before it dropped, empty lines left out.
std::vector<std::string> ListingLines(const std::string& listing);
// Every byte into fd, through EINTR; false on any failure (a full disk).
bool WriteAll(int fd, const char* data, size_t length);

} // namespace FtpWire
