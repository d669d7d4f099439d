#pragma once
// The login dialog: user name (an editable list of the names that have
// logged in before, in file order), password, "Remember my password", and
// OK and Cancel pictures. Enter anywhere acts as OK, Escape as Cancel.
// Creating it reads "User" of section "FTP" and the names of section
// "Users"; picking a name fills the password and Remember from the keyring
// (or the file, TPasswordStore). While no keyring exists, or one refuses, a
// note under Remember says so (and its tooltip); a refusing keyring also
// disables Remember, as nothing could be kept.
//
// Threads: user-interface thread.
#include "ILoginDialog.h"

#include <QDialog>

#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class TClickLabel;
class TPictureButton;
class TPasswordStore;
class TProfile;

class TLoginDlg : public QDialog, public ILoginDialog {
    Q_OBJECT
public:
    TLoginDlg(const TProfile& profile, QWidget* parent = nullptr);
    ~TLoginDlg() override;

    bool Execute() override;
    QString UserNameText() const override;
    QString PasswordText() const override;
    bool RememberChecked() const override;

    // The OK step: focus to the first empty field and beep, or close with OK.
    void OkClick();
    // Fills the password and Remember for the user name now shown.
    void PickName();
    // Says under Remember what the keyring found (keyring: a
    // TPasswordStore::TKeyring); nothing while it answers.
    void ShowKeyringNote(int keyring);

    QComboBox* UserName;
    QLineEdit* Password;
    QCheckBox* Remember;
    TClickLabel* RememberLabel;
    QLabel* KeyringNote;
    TPictureButton* OkButton;
    TPictureButton* CancelButton;
    TClickLabel* CancelLabel;

    // The system beep; replaceable so that a test can count it.
    std::function<void()> Beep;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    bool HandleKey(QKeyEvent* event);

    std::unique_ptr<TPasswordStore> m_passwords;
};
