#include "RemoteLog.h"

#include <curl/curl.h>

Q_LOGGING_CATEGORY(lcFtp, "caldris.ftp", QtWarningMsg)
Q_LOGGING_CATEGORY(lcWorkers, "caldris.workers", QtWarningMsg)

namespace RemoteLog {

namespace {

int Trace(CURL*, curl_infotype type, char* data, size_t size, void*)
{
    const char* mark = type == CURLINFO_HEADER_OUT ? "> " : type == CURLINFO_HEADER_IN ? "< " : nullptr;
    if (!mark && type != CURLINFO_TEXT)
        return 0; // payload bytes are not logged
    const std::string text(data, size);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            qCDebug(lcFtp).noquote() << QString::fromLatin1(mark ? mark : "* ") + QString::fromStdString(Masked(line));
        start = end + 1;
    }
    return 0;
}

} // namespace

void TraceFtp(void* easy)
{
    if (!lcFtp().isDebugEnabled())
        return;
    curl_easy_setopt(static_cast<CURL*>(easy), CURLOPT_DEBUGFUNCTION, &Trace);
    curl_easy_setopt(static_cast<CURL*>(easy), CURLOPT_VERBOSE, 1L);
}

std::string Masked(const std::string& line)
{
    if (line.size() >= 4 && (line.compare(0, 4, "PASS") == 0 || line.compare(0, 4, "pass") == 0))
        return line.substr(0, 4) + " ****";
    return line;
}

QString Printable(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || (u >= 0x7F && u <= 0x9F))
            out += QStringLiteral("\\x%1").arg(unsigned(u), 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

QByteArray LogLine(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    const QString category = QString::fromLatin1(context.category ? context.category : "caldris");
    return (category + ": " + qFormatLogMessage(type, context, Printable(text))).toLocal8Bit();
}

} // namespace RemoteLog
