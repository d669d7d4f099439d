#pragma once
// Folders that hold one user's private data (the case cache, the settings):
// made owner-only, and each folder of ours checked before use to be a real
// folder (not a symbolic link) owned by this user, so that nobody else on
// the machine can read what goes into them or redirect it elsewhere.
//
// Threads: any; plain file-system calls.
#include <string>

namespace PrivateFolders {

// base: a folder of the user's that is not ours to judge (~/.cache, ~/.config);
// it is made with owner-only access when missing, as the desktop rules ask.
// below: "/"-separated folders inside base that belong to this program; each
// is made owner-only when missing and must be a real folder owned by this
// user; one that others can enter is closed to them. False when any fails.
bool Make(const std::string& base, const std::string& below);
// The same checks without making anything; false when a folder is missing.
bool Check(const std::string& base, const std::string& below);

} // namespace PrivateFolders
