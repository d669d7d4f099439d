#pragma once
// The settings file: a plain INI text file of "[section]" lines followed by
// "key=value" lines. Every read and every write opens the file by its path
// and closes it again; no handle stays open. Section and key names compare
// without regard to letter case. A missing file, section or key reads as
// the default. A write creates the file, the section and the key as needed,
// keeps every other line as it was, and replaces the file atomically
// (a temporary file beside it, then a rename); a failed write raises
// EProfileError and leaves the old file untouched.
//
// Threads: any thread; the object holds only the path.
#include <QString>
#include <QStringList>

class TProfile {
public:
    explicit TProfile(QString path) : mPath(std::move(path)) {}

    // The machine-wide settings file, or the file that the environment
    // variable CALDRIS_INI names.
    static QString DefaultPath();

    const QString& Path() const { return mPath; }

    QString ReadString(const QString& section, const QString& key, const QString& defaultValue) const;
    // Decimal text, optionally signed; anything else reads as the default.
    int ReadInteger(const QString& section, const QString& key, int defaultValue) const;
    // An integer: 0 is false, any other number true.
    bool ReadBool(const QString& section, const QString& key, bool defaultValue) const;
    // The key names of a section, in file order (each name once).
    QStringList ReadSectionKeys(const QString& section) const;

    void WriteString(const QString& section, const QString& key, const QString& value);

private:
    QStringList ReadLines() const;

    QString mPath;
};
