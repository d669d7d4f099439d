// Harnesses of what an FTP server sends: reply lines as the connection reads
// them, MLSD listings and NLST name lists. A server is never trusted, so
// any input must give a defined result; each harness checks the promises
// the callers build on and traps when one is broken.
#include "FuzzTargets.h"

#include "FtpWire.h"
#include "RemoteLog.h"
#include "TFtpConnection.h"
#include "TLocalCache.h"

#include <QString>

#include <sstream>
#include <string>

namespace {

void Require(bool promise)
{
    if (!promise)
        __builtin_trap();
}

std::string Text(const uint8_t* data, size_t size) { return std::string(reinterpret_cast<const char*>(data), size); }

bool HasControl(const QString& text)
{
    for (const QChar c : text)
        if (c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() <= 0x9F))
            return true;
    return false;
}

// A reply line as the connection's header callback gets it, CR and LF cut.
void ReplyLine(const std::string& line)
{
    const int code = FtpWire::FinalReplyCode(line);
    Require(code == 0 || (code >= 100 && code <= 599));
    Require(code == 0 || line.compare(0, 3, std::to_string(code)) == 0);
    // A passive reply opens a data connection: only a final 227 or 229.
    Require(FtpWire::IsPassiveReply(code) == (code == 227 || code == 229));
    const int32_t size = FtpWire::SizeFromReply(line);
    Require(size >= -1);
    Require(FtpWire::ParseSize(line) >= -1);
    const std::string masked = RemoteLog::Masked(line);
    Require(masked == line || masked == line.substr(0, 4) + " ****");
    Require(!HasControl(RemoteLog::Printable(QString::fromStdString(masked))));
}

} // namespace

int FuzzFtpReply(const uint8_t* data, size_t size)
{
    std::istringstream lines(Text(data, size));
    for (std::string line; std::getline(lines, line);) {
        while (!line.empty() && line.back() == '\r')
            line.pop_back();
        ReplyLine(line);
    }
    return 0;
}

int FuzzMachineListing(const uint8_t* data, size_t size)
{
    for (const std::string& line : FtpWire::ListingLines(Text(data, size))) {
        Require(!line.empty() && line.find('\n') == std::string::npos);
        bool isFile = true;
        const TFtpConnection::ListedFile file = TFtpConnection::ParseMachineLine(line, isFile);
        // The name is the line's tail after the facts, never more.
        Require(file.Name.size() < line.size());
        Require(file.Name.empty() || line.compare(line.size() - file.Name.size(), file.Name.size(), file.Name) == 0);
        Require(file.Size >= -1);
        Require(!isFile || !file.Name.empty());
    }
    return 0;
}

int FuzzNameList(const uint8_t* data, size_t size)
{
    const std::vector<std::string> names = FtpWire::ListingLines(Text(data, size));
    // The last three safe names as a group\\patient\\study key.
    std::string keyParts[3];
    int safe = 0;
    for (const std::string& name : names) {
        Require(!name.empty() && name.find('\n') == std::string::npos);
        if (!LocalCache::IsSafeName(name))
            continue;
        // A safe name stays one folder or file below the case folder.
        Require(name != "." && name != ".." && name.find_first_of("/\\") == std::string::npos);
        for (unsigned char c : name)
            Require(c >= 0x20 && c != 0x7F);
        keyParts[safe % 3] = name;
        if (++safe >= 3)
            Require(LocalCache::IsSafeKey(keyParts[0] + "\\" + keyParts[1] + "\\" + keyParts[2]));
    }
    return 0;
}
