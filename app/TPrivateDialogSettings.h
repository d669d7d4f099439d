#pragma once
// While alive, the toolkit's own settings (which a file dialog writes when it
// is destroyed: the folders last visited, which may name patients) go to a
// private temporary folder that is deleted afterwards, instead of a file
// shared with every other program of the toolkit in the user's configuration.
//
// Threads: UI thread; one at a time (it redirects a process-wide path).
#include <QTemporaryDir>

class TPrivateDialogSettings {
public:
    TPrivateDialogSettings();
    ~TPrivateDialogSettings();
    TPrivateDialogSettings(const TPrivateDialogSettings&) = delete;
    TPrivateDialogSettings& operator=(const TPrivateDialogSettings&) = delete;

private:
    QTemporaryDir m_folder;
};
