#include "TProfile.h"

#include "EProfileError.h"
#include "PrivateFolders.h"

#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <unistd.h>

namespace {

const char* const FileName = "CALDRIS.INI";
const char* const FolderName = "caldris";

bool IsSection(const QString& line, QString* name)
{
    QString t = line.trimmed();
    if (!t.startsWith('['))
        return false;
    int close = t.indexOf(']');
    if (close < 0)
        return false;
    if (name)
        *name = t.mid(1, close - 1).trimmed();
    return true;
}

// A "key=value" line; comments (";" or "#") and lines without "=" are none.
bool IsEntry(const QString& line, QString* key, QString* value)
{
    QString t = line.trimmed();
    if (t.isEmpty() || t.startsWith(';') || t.startsWith('#'))
        return false;
    int eq = t.indexOf('=');
    if (eq <= 0)
        return false;
    *key = t.left(eq).trimmed();
    if (value)
        *value = t.mid(eq + 1).trimmed();
    return !key->isEmpty();
}

bool Same(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Index range [first, end) of the lines of the first section so named; -1 when none.
int FindSection(const QStringList& lines, const QString& section, int* end)
{
    for (int i = 0; i < lines.size(); ++i) {
        QString name;
        if (IsSection(lines[i], &name) && Same(name, section)) {
            int j = i + 1;
            while (j < lines.size() && !IsSection(lines[j], nullptr))
                ++j;
            *end = j;
            return i + 1;
        }
    }
    return -1;
}

QByteArray ReadAll(int fd)
{
    QByteArray data;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0)
            data.append(buf, n);
        else if (n == 0 || errno != EINTR)
            return data;
    }
}

// The text of a file reached by the private-folder rules; empty when the
// file (or its folder) is missing. Anything else that fails is refused
// aloud: a file of someone else's is never read in its place.
QByteArray Load(const PrivateFolders::TFd& file, const QString& path)
{
    if (file.Valid())
        return ReadAll(file.Get());
    if (errno == ENOENT)
        return QByteArray();
    throw EProfileError("The settings file \"" + path.toStdString() +
                        "\" is not read: it or a folder above it could be changed by another user.");
}

QStringList SplitLines(const QByteArray& data)
{
    QStringList lines = QString::fromUtf8(data).split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    for (QString& l : lines)
        if (l.endsWith('\r'))
            l.chop(1);
    return lines;
}

bool Find(const QStringList& lines, const QString& section, const QString& key, QString* value)
{
    int end = 0;
    int first = FindSection(lines, section, &end);
    for (int i = first; first >= 0 && i < end; ++i) {
        QString k, v;
        if (IsEntry(lines[i], &k, &v) && Same(k, key)) {
            *value = v;
            return true;
        }
    }
    return false;
}

QStringList Keys(const QStringList& lines, const QString& section)
{
    int end = 0;
    int first = FindSection(lines, section, &end);
    QStringList keys;
    for (int i = first; first >= 0 && i < end; ++i) {
        QString k;
        if (IsEntry(lines[i], &k, nullptr) && !keys.contains(k, Qt::CaseInsensitive))
            keys.append(k);
    }
    return keys;
}

} // namespace

const QString TProfile::MachinePath = QStringLiteral("/etc/caldris/CALDRIS.INI");

TProfile TProfile::Default()
{
    const QString env = qEnvironmentVariable("CALDRIS_INI");
    return env.isEmpty() ? TProfile(UserPath(), MachinePath) : TProfile(env);
}

QString TProfile::UserPath()
{
    return QString::fromStdString(PrivateFolders::ConfigBase()) + '/' + FolderName + '/' + FileName;
}

QByteArray TProfile::LoadUser() const
{
    // The user's own folder must be ours before its file is believed.
    if (!m_machinePath.isEmpty()) {
        const QFileInfo folder(QFileInfo(m_path).absolutePath());
        const PrivateFolders::TFd dir =
            PrivateFolders::OpenFolder(folder.absolutePath().toStdString(), folder.fileName().toStdString(), false);
        if (!dir.Valid() && errno != ENOENT)
            throw EProfileError("The settings folder \"" + folder.filePath().toStdString() +
                                "\" is not read: it is not a private folder of yours.");
        return dir.Valid() ? Load(PrivateFolders::OpenForReading(dir, FileName), m_path) : QByteArray();
    }
    return Load(PrivateFolders::OpenForReading(m_path.toStdString()), m_path);
}

QStringList TProfile::MachineLines() const
{
    if (m_machinePath.isEmpty())
        return {};
    return SplitLines(Load(PrivateFolders::OpenForReading(m_machinePath.toStdString()), m_machinePath));
}

// The machine file holds the connection to the centre's server; the user's
// name and passwords are the user's own.
bool TProfile::FromMachine(const QString& section, const QString& key) const
{
    return !m_machinePath.isEmpty() && Same(section, "FTP") && !Same(key, "User");
}

QString TProfile::ReadString(const QString& section, const QString& key, const QString& defaultValue) const
{
    QString value;
    if (Find(SplitLines(LoadUser()), section, key, &value) ||
        (FromMachine(section, key) && Find(MachineLines(), section, key, &value)))
        return value;
    return defaultValue;
}

bool TProfile::OwnFileHas(const QString& section, const QString& key) const
{
    QString value;
    return Find(SplitLines(LoadUser()), section, key, &value);
}

int TProfile::ReadInteger(const QString& section, const QString& key, int defaultValue) const
{
    QString text = ReadString(section, key, QString()).trimmed();
    bool ok = false;
    int value = text.toInt(&ok, 10);
    return ok ? value : defaultValue;
}

bool TProfile::ReadBool(const QString& section, const QString& key, bool defaultValue) const
{
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

QStringList TProfile::ReadSectionKeys(const QString& section) const
{
    QStringList keys = Keys(SplitLines(LoadUser()), section);
    if (!m_machinePath.isEmpty())
        for (const QString& k : Keys(MachineLines(), section))
            if (FromMachine(section, k) && !keys.contains(k, Qt::CaseInsensitive))
                keys.append(k);
    return keys;
}

void TProfile::MakeUserFolder() const
{
    // The user's file lies in a folder of ours ("caldris") in the user's
    // configuration folder; a single named file (CALDRIS_INI) lives wherever
    // its owner put it.
    if (m_machinePath.isEmpty())
        return;
    const QFileInfo folder(QFileInfo(m_path).absolutePath());
    if (!PrivateFolders::Make(folder.absolutePath().toStdString(), folder.fileName().toStdString()))
        throw EProfileError("Cannot make the private settings folder \"" + folder.filePath().toStdString() + "\".");
}

void TProfile::WriteString(const QString& section, const QString& key, const QString& value)
{
    // Names and values that would not read back as written are refused.
    auto breaks = [](const QString& s) { return s.contains('\n') || s.contains('\r') || s.contains(QChar(0)); };
    if (section.trimmed().isEmpty() || section.contains(']') || breaks(section) || key.trimmed().isEmpty() ||
        key.contains('=') || key.trimmed() != key || key.startsWith(';') || key.startsWith('#') ||
        key.startsWith('[') || breaks(key) || breaks(value))
        throw EProfileError("Cannot write \"" + key.toStdString() + "\" to the settings file.");

    MakeUserFolder();
    const QByteArray old = LoadUser();
    QStringList lines = SplitLines(old);
    const qsizetype firstEnd = old.indexOf('\n');
    const bool crlf = firstEnd > 0 && old[firstEnd - 1] == '\r';
    QString entry = key + '=' + value;
    int end = 0;
    int first = FindSection(lines, section, &end);
    if (first < 0) {
        lines.append('[' + section + ']');
        lines.append(entry);
    } else {
        bool replaced = false;
        int lastEntry = first - 1;
        for (int i = first; i < end && !replaced; ++i) {
            QString k;
            if (IsEntry(lines[i], &k, nullptr)) {
                lastEntry = i;
                if (Same(k, key)) {
                    // The name keeps the spelling it has in the file.
                    lines[i] = k + '=' + value;
                    replaced = true;
                }
            }
        }
        if (!replaced)
            lines.insert(lastEntry + 1, entry);
    }

    QSaveFile out(m_path);
    QByteArray data = lines.join(crlf ? "\r\n" : "\n").toUtf8();
    data += crlf ? "\r\n" : "\n";
    // Owner-only whatever it was: the file may hold remembered passwords.
    if (!out.open(QIODevice::WriteOnly) || !out.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) ||
        out.write(data) != data.size() || !out.commit())
        throw EProfileError("Cannot write the settings file \"" + m_path.toStdString() + "\": " +
                            out.errorString().toStdString());
}
