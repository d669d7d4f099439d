// Harness of the settings-file parser: the reads over the input as the file,
// then a write into a copy of it.
#include "FuzzFiles.h"
#include "FuzzTargets.h"

#include "Exception.h"
#include "TProfile.h"

namespace {
// Each read parses the whole file again: a few keys show every path.
constexpr int kKeysRead = 8;
} // namespace

int FuzzProfile(const uint8_t* data, size_t size)
{
    const std::string path = FuzzScratchFolder() + "CALDRIS.INI";
    WriteFuzzFile(path, data, size);
    TProfile profile(QString::fromStdString(path));
    for (const QString& section : {QStringLiteral("FTP"), QStringLiteral("Users")}) {
        const QStringList keys = profile.ReadSectionKeys(section);
        for (int i = 0; i < keys.size() && i < kKeysRead; ++i) {
            profile.ReadString(section, keys[i], QString());
            profile.ReadInteger(section, keys[i], 0);
            profile.ReadBool(section, keys[i], false);
        }
    }
    try {
        profile.WriteString(QStringLiteral("Users"), QStringLiteral("Last"), QStringLiteral("fuzz"));
        if (profile.ReadString(QStringLiteral("Users"), QStringLiteral("Last"), QString()) != QStringLiteral("fuzz"))
            __builtin_trap(); // a write that does not read back is a finding
    } catch (const Exception&) {
    }
    return 0;
}
