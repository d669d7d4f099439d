#pragma once
// Checks of the case folder named on the command line, before anything
// starts. Any thread.
#include <QString>

// Why folder cannot be opened as a case, in a sentence for the user; empty
// when it is a folder that can be read.
QString CaseFolderProblem(const QString& folder);

// Whether a window can be shown to say so: a desktop session's display, with
// no other platform asked for. A launch from a desktop has no terminal to read
// stderr; without a display the message goes to stderr only.
bool DesktopDisplayAvailable();
