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
// A profile may lay the user's own file over the machine's defaults: the
// connection keys of section "FTP" (all but "User") missing from the user's
// file are read from the machine file, which is never written. Every write
// goes to the user's file, made owner-only in an owner-only folder.
//
// Nothing is read that another user could have written or swapped: the
// files and every folder above them must be this user's or root's and
// writable by nobody else, and the user's own folder ("caldris") must be a
// real folder of this user's. A read of a refused file or folder raises
// EProfileError (never a fallback to the defaults or another file).
//
// Threads: any thread; the object holds only the paths.
#include <QByteArray>
#include <QString>
#include <QStringList>

class TProfile {
public:
    // One file for everything.
    explicit TProfile(QString path) : m_path(std::move(path)) {}
    // The user's file over the machine's read-only defaults.
    TProfile(QString userPath, QString machinePath) : m_path(std::move(userPath)), m_machinePath(std::move(machinePath)) {}

    // The file that the environment variable CALDRIS_INI names, for
    // everything; else the user's file over the machine's defaults.
    static TProfile Default();
    // $XDG_CONFIG_HOME/caldris/CALDRIS.INI (~/.config when it is unset or
    // not an absolute path).
    static QString UserPath();
    static const QString MachinePath; // /etc/caldris/CALDRIS.INI

    // The file that is written.
    const QString& Path() const { return m_path; }
    // The read-only defaults; empty when none are laid under.
    const QString& DefaultsPath() const { return m_machinePath; }

    QString ReadString(const QString& section, const QString& key, const QString& defaultValue) const;
    // Decimal text, optionally signed; anything else reads as the default.
    int ReadInteger(const QString& section, const QString& key, int defaultValue) const;
    // An integer: 0 is false, any other number true.
    bool ReadBool(const QString& section, const QString& key, bool defaultValue) const;
    // The key names of a section, in file order (each name once).
    QStringList ReadSectionKeys(const QString& section) const;
    // Whether the user's own file (not the machine's) holds the key.
    bool OwnFileHas(const QString& section, const QString& key) const;

    void WriteString(const QString& section, const QString& key, const QString& value);

private:
    bool FromMachine(const QString& section, const QString& key) const;
    QByteArray LoadUser() const;
    QStringList MachineLines() const;
    void MakeUserFolder() const;

    QString m_path;
    QString m_machinePath;
};
