#pragma once
// What the login loop needs from the login dialog: show it modally and read
// what was entered. Tests script it; TLoginDlg is the real one.
//
// Threads: user-interface thread.
#include <QString>

class ILoginDialog {
public:
    virtual ~ILoginDialog() = default;
    // Shows the dialog modally; true when it closed with OK. The dialog
    // keeps its contents between calls.
    virtual bool Execute() = 0;
    virtual QString UserNameText() const = 0;
    virtual QString PasswordText() const = 0;
    virtual bool RememberChecked() const = 0;
};
