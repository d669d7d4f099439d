#include "FtpWire.h"

#include <curl/curl.h>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace FtpWire {

int FinalReplyCode(const std::string& line)
{
    const bool digits = line.size() >= 3 && line[0] >= '1' && line[0] <= '5' && line[1] >= '0' && line[1] <= '9' &&
                        line[2] >= '0' && line[2] <= '9';
    if (!digits || (line.size() > 3 && line[3] != ' '))
        return 0;
    return (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
}

int32_t ParseSize(const std::string& digits)
{
    if (digits.empty() || digits.size() > 10)
        return -1;
    int64_t value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value > INT32_MAX ? -1 : static_cast<int32_t>(value);
}

int32_t SizeFromReply(const std::string& text)
{
    const size_t blank = text.find(' ');
    if (blank == std::string::npos)
        return -1;
    const size_t end = text.find_first_of(" \r\n", blank + 1);
    return ParseSize(text.substr(blank + 1, end == std::string::npos ? std::string::npos : end - blank - 1));
}

bool IsSocketFailure(int curlCode)
{
    switch (static_cast<CURLcode>(curlCode)) {
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
    case CURLE_FTP_CANT_GET_HOST:
    case CURLE_FTP_ACCEPT_FAILED:
    case CURLE_FTP_ACCEPT_TIMEOUT:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_OPERATION_TIMEDOUT:
        return true;
    default:
        return false;
    }
}

bool IsRefusedCommand(int curlCode)
{
    switch (static_cast<CURLcode>(curlCode)) {
    case CURLE_FTP_COULDNT_RETR_FILE:
    case CURLE_REMOTE_FILE_NOT_FOUND:
    case CURLE_REMOTE_ACCESS_DENIED:
    case CURLE_FTP_COULDNT_SET_TYPE:
        return true;
    default:
        return false;
    }
}

std::vector<std::string> ListingLines(const std::string& listing)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < listing.size()) {
        size_t end = listing.find('\n', start);
        if (end == std::string::npos)
            end = listing.size();
        size_t length = end - start;
        if (length > 0 && listing[end - 1] == '\r')
            --length;
        if (length > 0)
            lines.emplace_back(listing, start, length);
        start = end + 1;
    }
    return lines;
}

bool WriteAll(int fd, const char* data, size_t length)
{
    size_t done = 0;
    while (done < length) {
        const ssize_t n = ::write(fd, data + done, length - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

} // namespace FtpWire
