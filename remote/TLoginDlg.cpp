#include "TLoginDlg.h"

#include "ConnectionSettings.h"
#include "LoginPictures.h"
#include "TClickLabel.h"
#include "TPasswordStore.h"
#include "TPictureButton.h"
#include "TProfile.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>

namespace {

// The keyring note: under the Remember label, above the buttons.
constexpr int KeyringNoteLeft = 169;
constexpr int KeyringNoteTop = 113;
constexpr int KeyringNoteWidth = 160;
constexpr int KeyringNoteHeight = 30;
constexpr int KeyringNotePoints = 6;

QLabel* Caption(const QString& text, int x, int y, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->move(x, y);
    label->adjustSize();
    return label;
}

} // namespace

TLoginDlg::TLoginDlg(const TProfile& profile, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint),
      Beep([] { QApplication::beep(); })
{
    ConnectionSettings server;
    server.ReadFrom(profile);
    m_passwords = std::make_unique<TPasswordStore>(profile, server.Host, server.Port);
    setWindowTitle("Connect to Halvex Olvesk");
    setFixedSize(340, 180);
    setModal(true);
    setFont(QFont("Verdana", 8));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);

    auto* icon = new QLabel(this);
    icon->setPixmap(LoginEmblem());
    icon->setGeometry(16, 16, 32, 32);

    Caption("User name:", 72, 28, this);
    UserName = new QComboBox(this);
    UserName->setEditable(true);
    // Enter confirms the dialog; it must not add the typed name to the list.
    UserName->setInsertPolicy(QComboBox::NoInsert);
    // Only a pick from the list fills the password; typed text is not completed.
    UserName->setCompleter(nullptr);
    UserName->setGeometry(152, 24, 169, 21);

    Caption("Password:", 80, 68, this);
    Password = new QLineEdit(this);
    Password->setEchoMode(QLineEdit::Password);
    Password->setStyleSheet("lineedit-password-character: 42;"); // "*"
    Password->setGeometry(152, 64, 169, 21);

    Remember = new QCheckBox(this);
    Remember->setGeometry(152, 96, 15, 15);
    Remember->setFocusPolicy(Qt::ClickFocus);
    RememberLabel = new TClickLabel("Remember my password", this);
    RememberLabel->move(169, 96);
    RememberLabel->adjustSize();
    connect(RememberLabel, &TClickLabel::clicked, Remember, &QCheckBox::toggle);
    KeyringNote = new QLabel(this);
    KeyringNote->setGeometry(KeyringNoteLeft, KeyringNoteTop, KeyringNoteWidth, KeyringNoteHeight);
    KeyringNote->setWordWrap(true);
    KeyringNote->setFont(QFont("Verdana", KeyringNotePoints));
    KeyringNote->hide();

    OkButton = new TPictureButton(LoginOkPicture(), this);
    OkButton->setGeometry(152, 145, 72, 21);
    connect(OkButton, &TPictureButton::clicked, this, &TLoginDlg::OkClick);

    CancelButton = new TPictureButton(LoginCancelPicture(), this);
    CancelButton->setGeometry(248, 144, 74, 23);
    CancelLabel = new TClickLabel("Cancel", this);
    QFont bold("Verdana", 9, QFont::Bold);
    CancelLabel->setFont(bold);
    CancelLabel->setAlignment(Qt::AlignCenter);
    CancelLabel->setGeometry(248, 144, 74, 23);
    CancelLabel->setAttribute(Qt::WA_TranslucentBackground);
    connect(CancelButton, &TPictureButton::clicked, this, &QDialog::reject);
    connect(CancelLabel, &TClickLabel::clicked, this, &QDialog::reject);

    setTabOrder(UserName, Password);
    connect(UserName, &QComboBox::activated, this, [this](int) { PickName(); });

    // Key preview: the dialog sees every key before its controls.
    for (QWidget* child : findChildren<QWidget*>())
        child->installEventFilter(this);

    const QString user = profile.ReadString("FTP", "User", QString());
    UserName->addItems(profile.ReadSectionKeys("Users"));
    int index = -1;
    for (int i = 0; i < UserName->count() && index < 0; ++i)
        if (UserName->itemText(i).compare(user, Qt::CaseInsensitive) == 0)
            index = i;
    UserName->setCurrentIndex(index);
    if (index < 0)
        UserName->setEditText(user);
    PickName();
    ShowKeyringNote(int(m_passwords->Probe()));
    UserName->setFocus();
}

void TLoginDlg::ShowKeyringNote(int keyring)
{
    const auto state = TPasswordStore::TKeyring(keyring);
    if (state == TPasswordStore::TKeyring::Answers)
        return;
    const QString& note =
        state == TPasswordStore::TKeyring::Missing ? TPasswordStore::FallbackNote : TPasswordStore::RefusedNote;
    Remember->setToolTip(note);
    RememberLabel->setToolTip(note);
    // Said in the dialog itself, under the box, not only in a tooltip.
    KeyringNote->setText(note);
    KeyringNote->show();
    if (state == TPasswordStore::TKeyring::Refuses) {
        // Nothing can be kept: the box cannot promise it.
        Remember->setChecked(false);
        Remember->setEnabled(false);
        RememberLabel->setEnabled(false);
    }
}

TLoginDlg::~TLoginDlg()
{
    // The controls outlive this part of the object while QDialog tears them down.
    UserName->disconnect(this);
    for (QWidget* child : findChildren<QWidget*>())
        child->removeEventFilter(this);
}

bool TLoginDlg::Execute()
{
    return exec() == QDialog::Accepted;
}

QString TLoginDlg::UserNameText() const
{
    return UserName->currentText();
}

QString TLoginDlg::PasswordText() const
{
    return Password->text();
}

bool TLoginDlg::RememberChecked() const
{
    return Remember->isChecked();
}

void TLoginDlg::PickName()
{
    Password->setText(m_passwords->Read(UserName->currentText()));
    Remember->setChecked(!Password->text().isEmpty());
}

void TLoginDlg::OkClick()
{
    if (UserName->currentText().isEmpty())
        UserName->setFocus();
    else if (Password->text().isEmpty())
        Password->setFocus();
    else {
        accept();
        return;
    }
    Beep();
}

bool TLoginDlg::HandleKey(QKeyEvent* event)
{
    // An open name list keeps its own keys: Enter picks, Escape closes it.
    if (UserName->view() && UserName->view()->isVisible())
        return false;
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (event->modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier))
            return false;
        OkClick();
        return true;
    case Qt::Key_Escape:
        reject();
        return true;
    default:
        return false;
    }
}

bool TLoginDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && HandleKey(static_cast<QKeyEvent*>(event)))
        return true;
    return QDialog::eventFilter(watched, event);
}

void TLoginDlg::keyPressEvent(QKeyEvent* event)
{
    if (!HandleKey(event))
        QDialog::keyPressEvent(event);
}

void TLoginDlg::paintEvent(QPaintEvent*)
{
    QPainter g(this);
    g.fillRect(rect(), Qt::white);
    // The pattern is aligned to the window's outer corner, as on the main window.
    QPoint client = geometry().topLeft() - frameGeometry().topLeft();
    g.drawTiledPixmap(rect(), BackgroundPattern(), QPoint(client.x() % 16, client.y() % 16));
}
