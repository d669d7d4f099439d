#include "TAboutBox.h"

#include "AppResources.h"
#include "Messages.h"
#include "Program.h"
#include "TClickImage.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDeadlineTimer>
#include <QDesktopServices>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QUrl>
#include <QWindow>

const char* const TAboutBox::WebAddress = "https://www.caldris-imaging.example/";

namespace {

// How long the splash waits for the window system to put it on screen.
constexpr int kExposeWaitMs = 2000;
constexpr int kExposePollMs = 10;

struct BusyCursor {
    BusyCursor() { QApplication::setOverrideCursor(Qt::BusyCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
};

QLabel* Text(QWidget* parent, const QString& text, int pixelSize, bool bold, QRect geometry)
{
    auto* label = new QLabel(text, parent);
    QFont f("DejaVu Sans");
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    label->setFont(f);
    label->setGeometry(geometry);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    return label;
}

} // namespace

TAboutBox::TAboutBox(QWidget* owner) : QDialog(owner, Qt::FramelessWindowHint | Qt::Dialog)
{
    AboutBox = this;
    InitAppResources();
    setWindowTitle("About Caldris");
    setFixedSize(675, 430);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);

    auto* picture = new QLabel(this);
    picture->setPixmap(AppPicture("About"));
    picture->setGeometry(0, 0, 675, 430);

    auto* licensee = Text(this, "Licensed to the referring physicians of the imaging centre", 12, false,
                          QRect(40, 272, 595, 18));
    licensee->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    Label7 = Text(this, "<a href=\"#\" style=\"color:#1e60b4\">www.caldris-imaging.example</a>", 12, false,
                  QRect(40, 292, 300, 18));
    Label7->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    Label7->setCursor(Qt::PointingHandCursor);
    Label7->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
    connect(Label7, &QLabel::linkActivated, this, [this](const QString&) { Label6Click(); });

    auto* bevel1 = new QFrame(this);
    bevel1->setFrameStyle(QFrame::HLine | QFrame::Sunken);
    bevel1->setGeometry(40, 326, 595, 2);
    Label4 = Text(this, "NOT approved by the FDA as a diagnostic tool", 13, true, QRect(40, 336, 595, 20));
    Label2 = Text(this, "Copyright \u00A9 2004-2026 Caldris. All rights reserved. For referral use only.", 10,
                  false, QRect(40, 404, 595, 16));
    QPalette grey = Label2->palette();
    grey.setColor(QPalette::WindowText, QColor(110, 116, 128));
    Label2->setPalette(grey);

    OkBtn = new TClickImage(this);
    OkBtn->SetPicture(AppPicture("Ok"));
    OkBtn->move((675 - 72) / 2, 370);
    OkBtn->setCursor(Qt::PointingHandCursor);
    OkBtn->OnClick = [this] { OkBtnClick(); };
}

TAboutBox::~TAboutBox()
{
    if (AboutBox == this)
        AboutBox = nullptr;
}

void TAboutBox::ShowSplash()
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    setModal(false);
    show();
    // A window can be painted only once the window system has exposed it;
    // until then a repaint draws nothing and the splash would stay blank
    // while the main window is built.
    const QWindow* window = windowHandle();
    const QDeadlineTimer deadline(kExposeWaitMs);
    while (window && !window->isExposed() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, kExposePollMs);
    repaint();
    // Hands the painted picture to the window system now.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void TAboutBox::mousePressEvent(QMouseEvent* event)
{
    m_pressed = !isModal() && event->button() == Qt::LeftButton;
    QDialog::mousePressEvent(event);
}

void TAboutBox::mouseReleaseEvent(QMouseEvent* event)
{
    // The splash closes on a click anywhere on it, as on its OK image.
    const bool click = m_pressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    m_pressed = false;
    if (click && !isModal()) {
        close();
        return;
    }
    QDialog::mouseReleaseEvent(event);
}

void TAboutBox::OkBtnClick()
{
    if (isModal())
        done(Accepted);
    else
        close();
}

void TAboutBox::FormClose()
{
    if (m_closed)
        return;
    m_closed = true;
    PostMessage(MainForm, WM_USER);
}

void TAboutBox::done(int result)
{
    FormClose();
    QDialog::done(result);
}

void TAboutBox::reject()
{
    // Escape does not close the box; only its OK image (and Enter when modal).
}

void TAboutBox::closeEvent(QCloseEvent* event)
{
    FormClose();
    event->accept();
}

void TAboutBox::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (isModal()) // the splash ignores Enter
            done(Accepted);
        return;
    }
    QDialog::keyPressEvent(event);
}

void TAboutBox::Label6Click()
{
    BusyCursor busy;
    // An ordinary window again, so that the browser can come to the front.
    if (windowFlags() & Qt::WindowStaysOnTopHint) {
        setWindowFlag(Qt::WindowStaysOnTopHint, false);
        show();
    }
    repaint();
    QDesktopServices::openUrl(QUrl(WebAddress));
}
