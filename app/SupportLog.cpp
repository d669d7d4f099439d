#include "SupportLog.h"

#include "RemoteLog.h"

#include <cstdio>
#include <cstring>

Q_LOGGING_CATEGORY(lcLoader, "caldris.loader", QtWarningMsg)

namespace SupportLog {

bool Wanted(int& argc, char** argv)
{
    bool wanted = false;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--verbose") == 0)
            wanted = true;
        else
            argv[kept++] = argv[i];
    }
    argc = kept;
    argv[argc] = nullptr;
    const QByteArray env = qgetenv("CALDRIS_DEBUG");
    return wanted || (!env.isEmpty() && env != "0");
}

void Enable()
{
    QLoggingCategory::setFilterRules(QStringLiteral("caldris.*.debug=true"));
    // stderr, whatever the toolkit would choose (the journal, when there is no terminal).
    // Server texts (banners, replies, names) reach the terminal escaped.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& text) {
        const QByteArray line = RemoteLog::LogLine(type, context, text);
        std::fprintf(stderr, "%s\n", line.constData());
        std::fflush(stderr);
    });
}

} // namespace SupportLog
