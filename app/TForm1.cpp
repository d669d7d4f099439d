#include "TForm1.h"

#include "AppResources.h"
#include "CaseRow.h"
#include "IDownloadManager.h"
#include "ILoaderControl.h"
#include "Messages.h"
#include "MulDiv.h"
#include "Program.h"
#include "RowPictures.h"
#include "SeriesSave.h"
#include "TAboutBox.h"
#include "TAquaRadio.h"
#include "TAquaSlider.h"
#include "TClickImage.h"
#include "THelp.h"
#include "TNotificationHold.h"
#include "TPaintBox.h"
#include "TPdf.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QTimer>
#include <QToolButton>

namespace {

QFont CaptionFont(bool bold, int pixelSize = 11)
{
    static const QString family =
        QFontDatabase::families().contains("Verdana") ? QString("Verdana") : QString("DejaVu Sans");
    QFont f(family);
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    return f;
}

QLabel* MakeLabel(QWidget* parent, const QString& text, bool bold, QRect geometry,
                  Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter)
{
    auto* label = new QLabel(text, parent);
    label->setFont(CaptionFont(bold));
    label->setGeometry(geometry);
    label->setAlignment(align);
    return label;
}

bool IsPdf(const std::string& source)
{
    return QFileInfo(QString::fromStdString(source)).suffix().toUpper() == "PDF";
}

std::string FolderPart(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

} // namespace

TForm1::TForm1(const IWindowAdapter& windows, ILoaderControl& loaders, const TManagerFactory& makeManager,
               QWidget* parent)
    : TDisplayForm(windows, parent), m_loaders(loaders)
{
    InitAppResources();
    resize(kDesignWidth, kDesignHeight);
    // Below the design size the bars' controls would overlap.
    setMinimumSize(kDesignWidth, kDesignHeight);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    Image9 = AppPicture("Tile");

    BuildTopBar();
    BuildColumns();
    BuildBottomBar();
    BuildCentre();
    FTPList1 = makeManager(Chooser);
    FTPList1->Widget()->setParent(Chooser);
    FTPList1->Widget()->show();
    FormCreate();
}

TForm1::~TForm1()
{
    FormDestroy();
    if (MainForm == this)
        MainForm = nullptr;
}

QWidget* TForm1::Textured(QWidget* panel)
{
    // A see-through box under the panel's controls that paints the tile.
    auto* box = new TPaintBox(panel);
    box->setEnabled(false);
    box->setAttribute(Qt::WA_TransparentForMouseEvents);
    box->OnPaint = [this](TPaintBox* sender, QPainter& canvas) { PaintBox2Paint(sender, canvas); };
    box->lower();
    m_backgrounds.push_back(box);
    return panel;
}

void TForm1::BuildTopBar()
{
    Panel4 = Textured(new QWidget(this));
    Image3 = new TClickImage(Panel4);
    Image3->SetPicture(AppPicture("Manager"));
    Image3->move(10, 8);
    Image3->setCursor(Qt::PointingHandCursor);
    Image3->setToolTip("Shows the download manager");
    Image3->OnClick = [this] { Image3Click(); };

    MakeLabel(Panel4, "Patient:", false, QRect(56, 4, 60, 14));
    PatientName = MakeLabel(Panel4, "", true, QRect(118, 4, 250, 14));
    MakeLabel(Panel4, "Study:", false, QRect(56, 18, 60, 14));
    StudyDescription = MakeLabel(Panel4, "", true, QRect(118, 18, 250, 14));
    MakeLabel(Panel4, "Date:", false, QRect(56, 32, 60, 14));
    StudyDate = MakeLabel(Panel4, "", true, QRect(118, 32, 250, 14));
    MakeLabel(Panel4, "Referrer:", false, QRect(380, 4, 64, 14));
    Comments = MakeLabel(Panel4, "", true, QRect(446, 4, 225, 42), Qt::AlignLeft | Qt::AlignTop);
    Comments->setWordWrap(true);

    Panel8 = Textured(new QWidget(Panel4));
    Image1 = new TClickImage(Panel8);
    Image1->setCursor(Qt::PointingHandCursor);
    Image1->OnClick = [this] { Image1Click(); };
}

void TForm1::BuildColumns()
{
    Textured(Panel3);
    Panel3->setParent(this);
    Panel3->show();
    SeriesCaption = MakeLabel(Panel3, "Series", true, QRect(0, 14, 89, 16), Qt::AlignHCenter | Qt::AlignVCenter);
    for (TAquaRadio* r : SeriesButtons) {
        r->setFont(CaptionFont(true, 12));
        r->move(22, r->y());
        r->OnClick = [this](TAquaRadio* sender) { Image7Click(sender); };
        r->raise();
    }
    Image4 = new TClickImage(Panel3);
    Image4->SetPicture(AppPicture("Loading"));
    Image4->setCursor(Qt::PointingHandCursor);
    Image4->OnClick = [this] { Image3Click(); };
    Image4->hide();

    Panel7 = Textured(new QWidget(Panel3));
    Image17 = new TClickImage(Panel7);
    Image17->SetPicture(AppPicture("Save"));
    Image17->move((89 - 32) / 2, 8);
    Image17->setCursor(Qt::PointingHandCursor);
    Image17->setToolTip("Saves the current series to a multi-page TIFF file or individual DICOM files");
    Image17->OnClick = [this] { SpeedButton7Click(); };
    Label2 = MakeLabel(Panel7, "Save", true, QRect(0, 44, 89, 16), Qt::AlignHCenter | Qt::AlignVCenter);

    Panel2 = Textured(new QWidget(this));
    MakeLabel(Panel2, "Speed", true, QRect(0, 12, 81, 16), Qt::AlignHCenter | Qt::AlignVCenter);
    TrackBar2->setParent(Panel2);
    TrackBar2->setGeometry(34, 34, 24, 150);
    TrackBar2->show();
    MakeLabel(Panel2, "Zoom", true, QRect(0, 204, 81, 16), Qt::AlignHCenter | Qt::AlignVCenter);
    TrackBar3->setParent(Panel2);
    TrackBar3->SetTickStyle(tsNone);
    TrackBar3->setGeometry(34, 226, 24, 210);
    TrackBar3->show();
    for (const char* mark : {"400%", "100%", "50%"}) {
        QLabel* l = MakeLabel(Panel2, mark, false, QRect(0, 0, 32, 12), Qt::AlignRight | Qt::AlignVCenter);
        l->setFont(CaptionFont(false, 9));
        m_zoomMarks.push_back(l);
    }
}

void TForm1::BuildBottomBar()
{
    Panel1 = Textured(new QWidget(this));
    Label9 = MakeLabel(Panel1, " ", true, QRect(10, 12, 140, 16));
    QPalette green = Label9->palette();
    green.setColor(QPalette::WindowText, QColor(0, 100, 0));
    Label9->setPalette(green);

    Panel10 = Textured(new QWidget(Panel1));
    Panel10->resize(625, 26);
    Label8 = MakeLabel(Panel10, "1", true, QRect(0, 5, 44, 16), Qt::AlignRight | Qt::AlignVCenter);
    TrackBar1->setParent(Panel10);
    TrackBar1->SetTickStyle(tsNone);
    TrackBar1->setGeometry(56, 1, 512, 24);
    TrackBar1->show();
    Label5 = MakeLabel(Panel10, "0", true, QRect(580, 5, 45, 16));

    Panel11 = Textured(new QWidget(Panel1));
    Image2 = new TClickImage(Panel11);
    Image2->SetPicture(AppPicture("Help"));
    Image2->move(8, 4);
    Image2->setCursor(Qt::PointingHandCursor);
    Image2->setToolTip("Shows the user guide");
    Image2->OnClick = [this] { Image2Click(); };
}

void TForm1::BuildCentre()
{
    Panel5 = new QFrame(this);
    Panel5->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel5->setAutoFillBackground(true);
    QPalette black = Panel5->palette();
    black.setColor(QPalette::Window, Qt::black);
    Panel5->setPalette(black);
    PaintBox1->setParent(Panel5);
    PaintBox1->show();

    Chooser = new QWidget(this);
    Chooser->hide();
    Panel12 = new QLabel(Chooser);
    Panel12->setAutoFillBackground(true);
    QPalette grey = Panel12->palette();
    grey.setColor(QPalette::Window, QColor(200, 204, 210));
    Panel12->setPalette(grey);
    Panel12->setFont(CaptionFont(true, 12));
    Panel12->setText(" ");
    SpeedButton1 = new QToolButton(Chooser);
    SpeedButton1->setText("X");
    SpeedButton1->setFont(CaptionFont(true));
    SpeedButton1->setAutoRaise(true);
    SpeedButton1->setToolTip("Returns to the image view");
    connect(SpeedButton1, &QToolButton::clicked, this, [this] { SpeedButton1Click(); });
    // The same lights as the download manager's rows.
    struct Legend {
        int light;
        const char* caption;
        const char* hint;
    };
    const Legend legend[3] = {
        {rlLocal, "Local", "Cases that have been downloaded and are ready to be viewed"},
        {rlIncomplete, "Incomplete", "Cases that are currently downloading, not complete, or had an error"},
        {rlRemote, "Remote", "Cases that are available for downloading"},
    };
    for (const Legend& item : legend) {
        auto* icon = new QLabel(Chooser);
        icon->setPixmap(LightPicture(item.light));
        icon->setToolTip(item.hint);
        icon->setObjectName(QString("Legend") + item.caption);
        auto* label = MakeLabel(Chooser, item.caption, false, QRect(0, 0, 70, 16));
        label->setToolTip(item.hint);
        label->setObjectName(QString("LegendText") + item.caption);
    }
}

void TForm1::Layout()
{
    const int w = width(), h = height();
    const int middle = std::max(h - 49 - 41, 0);
    Panel4->setGeometry(0, 0, w, 49);
    Panel1->setGeometry(0, h - 41, w, 41);
    Panel3->setGeometry(0, 49, 89, middle);
    Panel2->setGeometry(w - 81, 49, 81, middle);
    const QRect centre(89, 49, std::max(w - 89 - 81, 0), middle);
    Panel5->setGeometry(centre);
    Chooser->setGeometry(centre);

    Panel8->setGeometry(w - 129, 0, 129, 49);
    Image1->move(Panel8->width() - Image1->width() - 8, (49 - Image1->height()) / 2);
    Panel7->setGeometry(0, middle - 67, 89, 67);
    Panel11->setGeometry(w - 48, 0, 48, 41);
    Panel1Resize();

    // The zoom marks sit beside the values they name.
    const int th = 16, top = TrackBar3->y(), span = TrackBar3->height() - th;
    const int values[3] = {400, 100, 50};
    for (int i = 0; i < 3; ++i) {
        const int y = top + th / 2 + span - MulDiv(span, values[i] - 50, 350);
        m_zoomMarks[size_t(i)]->move(0, y - 6);
    }

    const QRect inner = Panel5->contentsRect();
    PaintBox1->setGeometry(inner);
    if (PdfView)
        PdfView->setGeometry(inner);

    const int cw = Chooser->width();
    Panel12->setGeometry(0, 0, cw, 23);
    SpeedButton1->setGeometry(cw - 22, 1, 21, 21);
    int x = cw - 30;
    for (const char* caption : {"Remote", "Incomplete", "Local"}) {
        auto* label = Chooser->findChild<QLabel*>(QString("LegendText") + caption);
        auto* icon = Chooser->findChild<QLabel*>(QString("Legend") + caption);
        const int tw = label->fontMetrics().horizontalAdvance(caption) + 6;
        x -= tw;
        label->setGeometry(x, 3, tw, 17);
        x -= 20;
        icon->setGeometry(x, 2, 18, 18);
        x -= 10;
        label->raise();
        icon->raise();
    }
    SpeedButton1->raise();
    FTPList1->Widget()->setGeometry(0, 23, cw, std::max(Chooser->height() - 23, 0));

    for (QWidget* box : m_backgrounds)
        box->setGeometry(box->parentWidget()->rect());
}

void TForm1::resizeEvent(QResizeEvent*)
{
    // A stack still where its fit put it is fitted again to the new view,
    // larger or smaller.
    const TStack* stack = ShownStack();
    const bool atFit = stack && stack->AtFit();
    const QSize before = PaintBox1->size();
    Layout();
    const QSize after = PaintBox1->size();
    if (atFit && after != before)
        FitShownStack();
}

void TForm1::Panel1Resize()
{
    Panel10->move(Panel1->x() + (Panel1->width() - Panel10->width()) / 2, (41 - 26) / 2);
}

void TForm1::PaintBox2Paint(QWidget* box, QPainter& canvas)
{
    if (Image9.isNull())
        return;
    // Anchored at the window's outer corner, so all boxes line up as one surface.
    const QPoint corner = box->mapFromGlobal(window()->frameGeometry().topLeft());
    const int tw = Image9.width(), th = Image9.height();
    const QPoint offset(((-corner.x()) % tw + tw) % tw, ((-corner.y()) % th + th) % th);
    canvas.drawTiledPixmap(box->rect(), Image9, offset);
}

void TForm1::FormCreate()
{
    SetApplicationTitle(kFullTitle);
    setWindowTitle(ApplicationTitle());
    Image1->SetPicture(AppPicture("Logo"));
    Image1->move(Panel8->width() - Image1->width() - 8, (49 - Image1->height()) / 2);
    PaintBox1->setCursor(AppCursor(crHand));
    Model.Clear();
    for (TAquaRadio* r : SeriesButtons) {
        r->hide();
        r->setEnabled(false);
    }
    SeriesButtons[0]->SetChecked(true);
    Layout();
    Label9->setText(" ");
    ShownSeries = 0;
    TrackBar4Change();
    Image3->show();
    MainForm = this;
}

void TForm1::closeEvent(QCloseEvent* event)
{
    Timer2->stop();
    event->accept();
    if (OnFormClose)
        OnFormClose();
}

void TForm1::FormDestroy()
{
    Timer2->stop();
    // A loader that still runs must not call into a window that is going.
    m_loaders.Stop(Model);
    if (FTPList1)
        FTPList1->FormDestroy();
    if (PdfView) {
        PdfView->setSrc(QString());
        delete PdfView;
        PdfView = nullptr;
    }
    Model.Clear();
}

bool TForm1::event(QEvent* event)
{
    if (event->type() == MessageEventType(WM_USER)) {
        FirstManagerMessage();
        return true;
    }
    if (event->type() == MessageEventType(ViewCaseMessage)) {
        ViewCase();
        return true;
    }
    return TDisplayForm::event(event);
}

void TForm1::FirstManagerMessage()
{
    if (ManagerShownOnce)
        return;
    ManagerShownOnce = true;
    // A case named at start opens straight away; the login waits until the
    // user opens the download manager.
    if (StartFolder.empty())
        Image3Click();
    else
        OpenCase(StartFolder);
}

void TForm1::OpenFolder(const std::string& folder)
{
    // Before the splash has gone the folder waits for it, as a start folder does.
    if (!ManagerShownOnce) {
        StartFolder = folder;
        return;
    }
    OpenCase(folder);
}

void TForm1::ViewCase()
{
    PaintBox1->hide();
    Timer2->setInterval(10);
    Timer2->start();
    OpenCase(FTPList1->SelectedCaseFolder(), FTPList1->SelectedCaseArrivals());
}

bool TForm1::ManagerShown() const { return !Chooser->isHidden(); }

void TForm1::Image7Click(TAquaRadio* sender)
{
    if (m_movingSelection || sender->Tag == ShownSeries)
        return;
    if (ManagerShown())
        SpeedButton1Click();
    ShownSeries = sender->Tag;
    TrackBar4Change();
}

void TForm1::RefreshFrames(TStack& stack)
{
    TrackBar1->SetMax(int(stack.FrameList.size()) - 1);
    Label5->setText(QString::number(stack.FrameList.size()));
}

void TForm1::ShowNoStack()
{
    // A series chosen before its stack exists: a black view, nothing of the
    // series shown before.
    if (PdfView && !PdfView->isHidden()) {
        PdfView->hide();
        PaintBox1->show();
        ShowImageControls(true);
    }
    Model.ShownFrames = nullptr;
    TrackBar1->SetPosition(0);
    TrackBar1->SetMax(0);
    Label5->setText("0");
    ClearCaseTexts();
    PaintBox1->repaint();
}

void TForm1::ShowImageControls(bool imageView)
{
    Panel10->setVisible(imageView);
    Panel7->setVisible(imageView);
    TrackBar2->SetSliderVisible(imageView);
    TrackBar3->SetSliderVisible(imageView);
}

void TForm1::ClearCaseTexts()
{
    PatientName->clear();
    StudyDescription->clear();
    StudyDate->clear();
    Comments->clear();
}

void TForm1::TrackBar4Change()
{
    TStack* stack = ShownStack();
    if (!stack) {
        ShowNoStack();
        return;
    }
    if (&stack->FrameList == Model.ShownFrames) {
        // The first frames of a stack shown empty: it is fitted now.
        if (stack->Zoom == 0 && !stack->FrameList.empty())
            FitShownStack();
        // A report's texts may arrive with the case's first DICOM series.
        ShowCaseTexts(*stack);
        RefreshFrames(*stack);
        return;
    }
    {
        TNotificationHold hold;
        PaintBox1->show();
        if (PdfView)
            PdfView->hide();
        if (IsPdf(stack->Source)) {
            PaintBox1->hide();
            if (PdfView) {
                PdfView->hide();
                PdfView->setSrc(QString());
                delete PdfView;
                PdfView = nullptr;
            }
            PdfView = new TPdf(Panel5);
            PdfView->setGeometry(Panel5->contentsRect());
            PdfView->show();
            PdfView->setSrc(QString::fromStdString(stack->Source));
        }
        ShowImageControls(!PaintBox1->isHidden());
    }
    Model.ShownFrames = &stack->FrameList;
    TrackBar1->SetPosition(0);
    if (stack->Zoom == 0) {
        // From the view's size, also while the view is hidden, so that the
        // zoom slider limits the fitted zoom.
        FitShownStack();
    } else {
        PaintBox1->repaint();
        TrackBar3->SetPosition(stack->Zoom);
    }
    ShowCaseTexts(*stack);
    RefreshFrames(*stack);
}

void TForm1::ShowCaseTexts(const TStack& stack)
{
    PatientName->setText(QString::fromStdString(stack.Patient));
    StudyDescription->setText(QString::fromStdString(stack.StudyText));
    StudyDate->setText(QString::fromStdString(stack.DateText));
    Comments->setText(QString::fromStdString(stack.Referrer));
}

void TForm1::Image3Click()
{
    if (!FTPList1->Initialised()) {
        FTPList1->FormCreate();
        Panel12->setText(" " + FTPList1->HostName());
        FTPList1->RefreshList();
    } else {
        FTPList1->LogOnWhenNeeded();
    }
    if (!Panel5->isHidden()) {
        Chooser->show();
        Panel5->hide();
        TrackBar2->Tag = TrackBar2->Position();
        TrackBar2->SetPosition(0);
    }
}

void TForm1::SpeedButton1Click()
{
    Panel5->show();
    Chooser->hide();
    TrackBar2->SetPosition(TrackBar2->Tag);
}

void TForm1::SpeedButton7Click()
{
    SaveShownSeries(*this, AskSaveName ? AskSaveName : TAskSaveName(&AskSaveStackName),
                    TellUser ? TellUser : TTellUser(&TellSaveProblem));
}

void TForm1::OpenCase(const std::string& folder, std::shared_ptr<TCaseArrivals> arrivals)
{
    // A case that is already open, or already followed as it arrives, is
    // shown again as it is; one opened before its download was wanted is
    // loaded again to follow it.
    const bool open = !Model.Stacks.empty() && FolderPart(Model.Stacks.front()->Source) == folder &&
                      (!arrivals || arrivals == m_following);
    const bool followed = arrivals && arrivals == m_following && Model.ActiveLoader;
    if (open || followed) {
        SpeedButton1Click();
        TStack* shown = ShownStack();
        if (!shown || !IsPdf(shown->Source))
            PaintBox1->show();
        return;
    }
    m_loaders.Stop(Model);
    if (PdfView)
        PdfView->hide();
    Model.Clear();
    TrackBar1->SetPosition(0);
    TrackBar1->SetMax(0);
    SeriesButtons[0]->SetChecked(true);
    SpeedButton1Click();
    ClearCaseTexts();
    MemoryNoticeShown = false;
    IncompleteNoticeShown = false;
    Label9->setText(" ");
    m_following = arrivals;
    m_loaders.Start(Model, *this, folder, std::move(arrivals));
}

void TForm1::Image1Click()
{
    if (AboutBox)
        return;
    auto* box = new TAboutBox(this);
    box->exec();
    delete box;
    AboutBox = nullptr;
}

void TForm1::Image2Click()
{
    THelp help(this);
    help.exec();
}

void TForm1::PreviewChanged(int previewCount)
{
    for (TAquaRadio* r : SeriesButtons) {
        r->setVisible(r->Tag < previewCount);
        r->setEnabled(false);
    }
}

void TForm1::FrameAdded()
{
    const int stacks = int(Model.Stacks.size());
    for (TAquaRadio* r : SeriesButtons) {
        r->setEnabled(r->Tag < stacks);
        if (r->Tag == stacks - 1) {
            Image4->move(r->x() + r->width() + 2, r->y() + 2);
            Image4->show();
            Image4->raise();
        }
    }
    TrackBar4Change();
    if (!MemoryNoticeShown && !IncompleteNoticeShown)
        Label9->setText("Loading " + QString(QChar(64 + stacks)));
}

void TForm1::FollowShownStack(int series)
{
    // Beyond the last button the stack can no longer be selected; the
    // series index stays and shows what is there now.
    if (series >= int(SeriesButtons.size()))
        return;
    ShownSeries = series;
    // Checking a button clicks it and the one it unchecks: neither may
    // switch the stack that goes on being shown.
    m_movingSelection = true;
    SeriesButtons[size_t(series)]->SetChecked(true);
    m_movingSelection = false;
}

void TForm1::StackInserted(int index)
{
    const int before = int(Model.Stacks.size()) - 1;
    if (ShownSeries < before && index <= ShownSeries)
        FollowShownStack(ShownSeries + 1);
}

void TForm1::StackMoved(int from, int to)
{
    int shown = ShownSeries;
    if (shown >= int(Model.Stacks.size()))
        return;
    if (shown == from)
        shown = to;
    else if (from < shown && shown <= to)
        --shown;
    else if (to <= shown && shown < from)
        ++shown;
    if (shown != ShownSeries)
        FollowShownStack(shown);
}

void TForm1::FrameInserted(const TStack& stack, size_t index)
{
    // The shown image stays shown: the slider moves with it.
    const int position = TrackBar1->Position();
    if (&stack.FrameList == Model.ShownFrames && stack.FrameList.size() > 1 && int(index) <= position) {
        TrackBar1->SetMax(int(stack.FrameList.size()) - 1);
        TrackBar1->SetPosition(position + 1);
    }
    FrameAdded();
}

const char* const TForm1::kIncompleteCase = "Incomplete case: some images did not arrive";

void TForm1::CaseIncomplete()
{
    IncompleteNoticeShown = true;
    Label9->setText(kIncompleteCase);
    Label9->adjustSize();
}

const char* const TForm1::kNotEnoughMemory = "Not enough memory to load every image of this case";

void TForm1::NotEnoughMemory()
{
    MemoryNoticeShown = true;
    Label9->setText(kNotEnoughMemory);
    Label9->adjustSize(); // wider than the loading text it replaces
}

void TForm1::LoaderDone()
{
    Image4->hide();
    if (!MemoryNoticeShown && !IncompleteNoticeShown)
        Label9->setText(" ");
    Model.ActiveLoader = nullptr;
}
