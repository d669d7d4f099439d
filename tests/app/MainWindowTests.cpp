// The main window: creation, loader notifications, series selection and the
// PDF pane, the download manager toggle, case opening, wheel routing and
// Ctrl+C through the window's own event handling.
#include "FakeImages.h"
#include "FakeLoader.h"
#include "Messages.h"
#include "Program.h"
#include "SeriesSave.h"
#include "TAquaRadio.h"
#include "TAquaSlider.h"
#include "TClickImage.h"
#include "TDownloadPlaceholder.h"
#include "TForm1.h"
#include "TPaintBox.h"
#include "TPdf.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDateTime>
#include <QFileDialog>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPdfWriter>
#include <QPointer>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include <algorithm>

namespace {

void Settle()
{
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

struct Window {
    FakeWindowAdapter windows;
    FakeLoader loader;
    TDownloadPlaceholder* manager = nullptr;
    TForm1 form{windows, loader, [this](QWidget* parent) { return manager = new TDownloadPlaceholder(parent); }};

    Window()
    {
        form.resize(1000, 700);
        form.show();
        Settle();
    }
    // Appends a stack the way the loader does: stack, then frame by frame.
    TStack& Load(std::unique_ptr<TStack> stack)
    {
        TFrameList frames = std::move(stack->FrameList);
        stack->FrameList.clear();
        form.Model.Stacks.push_back(std::move(stack));
        TStack& s = *form.Model.Stacks.back();
        if (frames.empty())
            form.FrameAdded();
        for (auto& f : frames) {
            s.FrameList.push_back(std::move(f));
            form.FrameAdded();
        }
        return s;
    }
    void Select(int tag) { form.SeriesButtons[size_t(tag)]->SetChecked(true); }
    void Wheel(QWidget* over, int delta)
    {
        const QPoint local = over->rect().center();
        QWheelEvent e(QPointF(local), QPointF(over->mapToGlobal(local)), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(over, &e);
    }
};

std::unique_ptr<TStack> Pdf(const std::string& path)
{
    auto s = std::make_unique<TStack>();
    s->Source = path;
    return s;
}

QString WritePdf(const QTemporaryDir& dir)
{
    const QString path = dir.filePath("report.pdf");
    QPdfWriter writer(path);
    QPainter p(&writer);
    p.drawText(100, 100, "Report");
    return path;
}

} // namespace

// ---- creation ----

TEST(MainWindowCreate, InitialState)
{
    Window w;
    EXPECT_EQ(w.form.windowTitle(), "Caldris Version 1.5");
    EXPECT_EQ(ApplicationTitle(), "Caldris Version 1.5");
    EXPECT_EQ(MainForm, &w.form);
    for (TAquaRadio* r : w.form.SeriesButtons) {
        EXPECT_TRUE(r->isHidden());
        EXPECT_FALSE(r->isEnabled());
    }
    EXPECT_TRUE(w.form.SeriesButtons[0]->Checked());
    EXPECT_EQ(w.form.SeriesButtons[14]->Caption(), "O");
    EXPECT_EQ(w.form.SeriesButtons[14]->geometry().size(), QSize(41, 21));
    EXPECT_EQ(w.form.SeriesButtons[1]->y() - w.form.SeriesButtons[0]->y(), 24);
    EXPECT_EQ(w.form.Label9->text(), " ");
    EXPECT_EQ(w.form.ShownSeries, 0);
    EXPECT_FALSE(w.form.Image3->isHidden());
    EXPECT_TRUE(w.form.Chooser->isHidden());
    EXPECT_EQ(w.form.TrackBar2->Position(), 6);
    EXPECT_EQ(w.form.TrackBar2->Tag, 6);
    EXPECT_EQ(w.form.TrackBar3->Position(), 200);
    EXPECT_FALSE(w.form.Timer2->isActive());
    EXPECT_EQ(w.form.Image1->x(), 129 - w.form.Image1->width() - 8);
}

TEST(MainWindowCreate, LayoutFollowsTheDesignSizes)
{
    Window w;
    EXPECT_EQ(w.form.Panel4->geometry(), QRect(0, 0, 1000, 49));
    EXPECT_EQ(w.form.Panel1->geometry(), QRect(0, 700 - 41, 1000, 41));
    EXPECT_EQ(w.form.Panel3->geometry(), QRect(0, 49, 89, 700 - 90));
    EXPECT_EQ(w.form.Panel2->geometry(), QRect(1000 - 81, 49, 81, 700 - 90));
    EXPECT_EQ(w.form.Panel5->geometry(), QRect(89, 49, 1000 - 170, 700 - 90));
    EXPECT_EQ(w.form.Panel7->height(), 67);
    EXPECT_EQ(w.form.Panel10->size(), QSize(625, 26));
    EXPECT_EQ(w.form.TrackBar1->width(), 512);
    EXPECT_EQ(w.form.Panel10->x(), (1000 - 625) / 2); // Panel1Resize
    w.form.resize(900, 600);
    EXPECT_EQ(w.form.Panel10->x(), (900 - 625) / 2);
    EXPECT_EQ(w.form.Comments->width(), 225);
    EXPECT_TRUE(w.form.PatientName->font().bold());
}

TEST(MainWindowCreate, TheBackgroundTilesLineUpAcrossPanels)
{
    Window w;
    const QImage shot = w.form.grab().toImage();
    // The tile's stripes alternate by row from the window's corner: the
    // same window row has the same shade in the top bar and the column.
    const QRgb top = shot.pixel(700, 44), column = shot.pixel(85, 44 + 16 * 20);
    EXPECT_EQ(top, column);
    EXPECT_NE(shot.pixel(700, 44), shot.pixel(700, 45));
}

// ---- loader notifications ----

TEST(LoaderNotifications, PreviewShowsButtonsAndFramesEnableThem)
{
    Window w;
    w.form.PreviewChanged(3);
    for (TAquaRadio* r : w.form.SeriesButtons) {
        EXPECT_EQ(!r->isHidden(), r->Tag < 3);
        EXPECT_FALSE(r->isEnabled());
    }
    w.Load(MakeStack(2, 64, 64));
    EXPECT_TRUE(w.form.SeriesButtons[0]->isEnabled());
    EXPECT_FALSE(w.form.SeriesButtons[1]->isEnabled());
    EXPECT_FALSE(w.form.Image4->isHidden());
    EXPECT_EQ(w.form.Image4->y(), w.form.SeriesButtons[0]->y() + 2);
    EXPECT_EQ(w.form.Label9->text(), "Loading A");
    EXPECT_EQ(w.form.Model.ShownFrames, &w.form.Model.Stacks[0]->FrameList);
    EXPECT_EQ(w.form.Label5->text(), "2");
    w.Load(MakeStack(1, 64, 64));
    EXPECT_EQ(w.form.Image4->y(), w.form.SeriesButtons[1]->y() + 2);
    EXPECT_EQ(w.form.Label9->text(), "Loading B");
    w.form.LoaderDone();
    EXPECT_TRUE(w.form.Image4->isHidden());
    EXPECT_EQ(w.form.Label9->text(), " ");
    EXPECT_EQ(w.form.Model.ActiveLoader, nullptr);
}

TEST(LoaderNotifications, TheMemoryNoticeStaysInTheLoadingLabelUntilTheNextCase)
{
    Window w;
    w.form.PreviewChanged(2);
    w.Load(MakeStack(1, 64, 64));
    w.form.NotEnoughMemory();
    EXPECT_EQ(w.form.Label9->text(), "Not enough memory to load every image of this case");
    w.Load(MakeStack(1, 64, 64));
    w.form.LoaderDone();
    EXPECT_EQ(w.form.Label9->text(), "Not enough memory to load every image of this case");
    w.form.OpenCase("/cases/next/");
    EXPECT_EQ(w.form.Label9->text(), " ");
}

TEST(LoaderNotifications, NewFramesOfTheShownStackExtendTheRangeOnly)
{
    Window w;
    w.form.PreviewChanged(1);
    TStack& s = w.Load(MakeStack(2, 64, 64));
    w.form.TrackBar1->SetPosition(1);
    s.FrameList.push_back(MakeDicom(64, 64));
    w.form.FrameAdded();
    EXPECT_EQ(w.form.TrackBar1->Max(), 2);
    EXPECT_EQ(w.form.TrackBar1->Position(), 1);
    EXPECT_EQ(w.form.Label5->text(), "3");
}

TEST(LoaderNotifications, InsertionsBeforeTheShownImageKeepItShownUntilTheIncompleteNotice)
{
    Window w;
    w.form.PreviewChanged(3);
    w.Load(MakeStack(1, 64, 64, "a"));
    TStack& shown = w.Load(MakeStack(3, 64, 64, "b"));
    w.Select(1);
    w.form.TrackBar1->SetPosition(1);
    const TDibGraphic* image = w.form.ShownImage();
    // An image before it, a stack before its stack, and its stack moved first.
    shown.FrameList.insert(shown.FrameList.begin(), MakeDicom(64, 64));
    w.form.FrameInserted(shown, 0);
    auto report = MakeStack(0, 64, 64, "/case/report.pdf");
    w.form.Model.Stacks.insert(w.form.Model.Stacks.begin(), std::move(report));
    w.form.StackInserted(0);
    std::rotate(w.form.Model.Stacks.begin(), w.form.Model.Stacks.begin() + 2, w.form.Model.Stacks.end());
    w.form.StackMoved(2, 0);
    EXPECT_EQ(w.form.ShownSeries, 0);
    EXPECT_TRUE(w.form.SeriesButtons[0]->Checked());
    EXPECT_EQ(w.form.ShownImage(), image);
    EXPECT_EQ(w.form.TrackBar1->Position(), 2);
    EXPECT_EQ(w.form.TrackBar1->Max(), 3);
    w.form.CaseIncomplete();
    w.form.LoaderDone();
    EXPECT_EQ(w.form.Label9->text(), "Incomplete case: some images did not arrive");
    w.form.OpenCase("/cases/next/");
    EXPECT_EQ(w.form.Label9->text(), " ");
}

// ---- series selection ----

TEST(SeriesSelection, TheShownButtonDoesNothingEvenWithTheManagerShown)
{
    Window w;
    w.form.PreviewChanged(2);
    w.Load(MakeStack(1, 64, 64));
    w.Load(MakeStack(1, 64, 64));
    w.form.Image3Click();
    ASSERT_TRUE(w.form.ManagerShown());
    w.form.Image7Click(w.form.SeriesButtons[0]);
    EXPECT_TRUE(w.form.ManagerShown());
    w.Select(1);
    EXPECT_FALSE(w.form.ManagerShown());
    EXPECT_EQ(w.form.ShownSeries, 1);
    EXPECT_EQ(w.form.Model.ShownFrames, &w.form.Model.Stacks[1]->FrameList);
}

TEST(SeriesSelection, CaseTextsComeFromTheShownStack)
{
    Window w;
    auto a = MakeStack(1, 64, 64);
    a->Patient = "DOE^JANE";
    a->StudyText = "MRI HEAD";
    a->DateText = "Mon May 17, 2004";
    a->Referrer = "SMITH^ANN";
    w.form.PreviewChanged(2);
    w.Load(std::move(a));
    w.Load(MakeStack(1, 32, 32, "/case/scan.tif"));
    EXPECT_EQ(w.form.PatientName->text(), "DOE^JANE");
    EXPECT_EQ(w.form.StudyDescription->text(), "MRI HEAD");
    EXPECT_EQ(w.form.StudyDate->text(), "Mon May 17, 2004");
    EXPECT_EQ(w.form.Comments->text(), "SMITH^ANN");
    w.Select(1);
    EXPECT_EQ(w.form.PatientName->text(), "");
    EXPECT_EQ(w.form.Comments->text(), "");
}

TEST(SeriesSelection, APdfStackHidesTheFrameStripSaveAndThumbs)
{
    QTemporaryDir dir;
    const QString report = WritePdf(dir);
    Window w;
    w.form.PreviewChanged(2);
    w.Load(Pdf(report.toStdString()));
    w.Load(MakeStack(3, 64, 64));
    ASSERT_NE(w.form.PdfView, nullptr);
    QPointer<TPdf> first = w.form.PdfView;
    EXPECT_EQ(first->src(), report);
    EXPECT_TRUE(first->Showing());
    EXPECT_TRUE(w.form.PaintBox1->isHidden());
    EXPECT_TRUE(w.form.Panel10->isHidden());
    EXPECT_TRUE(w.form.Panel7->isHidden());
    EXPECT_FALSE(w.form.TrackBar2->SliderVisible());
    EXPECT_FALSE(w.form.TrackBar3->SliderVisible());

    w.Select(1);
    EXPECT_FALSE(w.form.PaintBox1->isHidden());
    EXPECT_FALSE(w.form.Panel10->isHidden());
    EXPECT_FALSE(w.form.Panel7->isHidden());
    EXPECT_TRUE(w.form.TrackBar2->SliderVisible());
    EXPECT_TRUE(w.form.TrackBar3->SliderVisible());
    ASSERT_FALSE(first.isNull()); // kept, hidden, until the next PDF stack
    EXPECT_TRUE(first->isHidden());

    w.Select(0);
    EXPECT_TRUE(first.isNull()); // the next PDF stack gets a new control
    ASSERT_NE(w.form.PdfView, nullptr);
    EXPECT_FALSE(w.form.PdfView->isHidden());
}

TEST(SeriesSelection, AReportThatCannotBeShownSaysSo)
{
    Window w;
    w.form.PreviewChanged(1);
    w.Load(Pdf("/nonexistent/report.PDF"));
    ASSERT_NE(w.form.PdfView, nullptr);
    EXPECT_FALSE(w.form.PdfView->Showing());
    EXPECT_TRUE(w.form.PaintBox1->isHidden());
}

TEST(SeriesSelection, AStackKeepsZoomAndOffsetsAndRestartsAtTheFirstFrame)
{
    Window w;
    w.form.PreviewChanged(2);
    w.Load(MakeStack(2, 64, 64));
    TStack& b = w.Load(MakeStack(3, 64, 64));
    w.Select(1);
    b.Zoom = 150;
    b.OffsetX = 33;
    b.OffsetY = -7;
    w.form.TrackBar1->SetPosition(2);
    w.Select(0);
    w.Select(1);
    EXPECT_EQ(b.Zoom, 150);
    EXPECT_EQ(b.OffsetX, 33);
    EXPECT_EQ(b.OffsetY, -7);
    EXPECT_EQ(w.form.TrackBar3->Position(), 150);
    EXPECT_EQ(w.form.TrackBar1->Position(), 0);
}

// ---- download manager toggle ----

TEST(DownloadManager, OpeningSavesTheSpeedAndClosingBringsItBack)
{
    Window w;
    ASSERT_TRUE(w.form.Timer2->isActive() || w.form.TrackBar2->Position() == 6);
    w.form.Image3Click();
    EXPECT_TRUE(w.manager->Initialised());
    EXPECT_EQ(w.form.Panel12->text(), " Local cases");
    EXPECT_TRUE(w.form.ManagerShown());
    EXPECT_TRUE(w.form.Panel5->isHidden());
    EXPECT_EQ(w.form.TrackBar2->Position(), 0);
    EXPECT_EQ(w.form.TrackBar2->Tag, 6);
    EXPECT_FALSE(w.form.Timer2->isActive());
    w.form.Image3Click(); // already shown: the saved speed stays
    EXPECT_EQ(w.form.TrackBar2->Tag, 6);
    w.form.SpeedButton1Click();
    EXPECT_FALSE(w.form.ManagerShown());
    EXPECT_FALSE(w.form.Panel5->isHidden());
    EXPECT_EQ(w.form.TrackBar2->Position(), 6);
    EXPECT_TRUE(w.form.Timer2->isActive());
}

// ---- case opening ----

TEST(CaseOpening, TheSameFileBasedCaseIsNotLoadedAgain)
{
    Window w;
    w.form.PreviewChanged(1);
    w.Load(Pdf("/cases/a/report.pdf"));
    w.form.Image3Click();
    w.form.OpenCase("/cases/a/");
    EXPECT_TRUE(w.loader.Started.empty());
    EXPECT_FALSE(w.form.ManagerShown());
    EXPECT_EQ(w.form.Model.Stacks.size(), 1u);
    EXPECT_TRUE(w.form.PaintBox1->isHidden()); // the report stays on show
    w.form.OpenCase("/cases/A/"); // letter case counts
    EXPECT_EQ(w.loader.Started.size(), 1u);
}

TEST(CaseOpening, ACaseOfSingleImagesIsLoadedEachTime)
{
    Window w;
    w.form.PreviewChanged(1);
    w.Load(MakeStack(1, 64, 64, "1.2.3^500^20"));
    w.form.OpenCase("/cases/b/");
    EXPECT_EQ(w.loader.Started, (std::vector<std::string>{"/cases/b/"}));
    EXPECT_TRUE(w.form.Model.Stacks.empty());
    EXPECT_EQ(w.form.Model.ShownFrames, nullptr);
}

TEST(CaseOpening, AnotherCaseWhileOneLoadsStopsTheLoaderBeforeFreeing)
{
    Window w;
    w.form.OpenCase("/cases/one/");
    w.form.PreviewChanged(2);
    w.Load(MakeStack(3, 64, 64, "/cases/one/multi.dcm"));
    w.Select(0);
    w.form.TrackBar1->SetPosition(2);
    w.form.Image3Click();
    bool stacksAliveAtStop = false;
    w.loader.OnStop = [&] { stacksAliveAtStop = w.form.Model.Stacks.size() == 1; };
    w.form.OpenCase("/cases/two/");
    EXPECT_EQ(w.loader.Stops, 1);
    EXPECT_TRUE(stacksAliveAtStop);
    EXPECT_EQ(w.form.Label9->text(), " "); // the old loader's end notification ran
    EXPECT_TRUE(w.form.Model.Stacks.empty());
    EXPECT_EQ(w.form.TrackBar1->Position(), 0);
    EXPECT_EQ(w.form.TrackBar1->Max(), 0);
    EXPECT_TRUE(w.form.SeriesButtons[0]->Checked());
    EXPECT_FALSE(w.form.ManagerShown());
    EXPECT_EQ(w.form.PatientName->text(), "");
    EXPECT_EQ(w.loader.Started, (std::vector<std::string>{"/cases/one/", "/cases/two/"}));
}

TEST(CaseOpening, ViewCaseMessageOpensTheSelectedCase)
{
    Window w;
    w.manager->SetSelectedCaseFolder("/cases/three/");
    PostMessage(&w.form, ViewCaseMessage);
    // Only the posted message: a busy machine would let the 10 ms tick run inside a longer settle.
    QCoreApplication::sendPostedEvents(&w.form);
    EXPECT_EQ(w.loader.Started, (std::vector<std::string>{"/cases/three/"}));
    EXPECT_TRUE(w.form.Timer2->isActive());
    EXPECT_EQ(w.form.Timer2->interval(), 10); // the first tick re-applies the speed
    w.form.Timer2Timer();
    EXPECT_EQ(w.form.Timer2->interval(), 201);
    EXPECT_TRUE(w.form.PaintBox1->isHidden()); // until the first stack is shown
}

// ---- wheel and keys through the window ----

TEST(WheelRouting, SeriesColumnStaysOnTheLastAndWrapsFromA)
{
    Window w;
    w.form.PreviewChanged(4);
    for (int i = 0; i < 4; ++i)
        w.Load(MakeStack(1, 64, 64));
    w.Select(3);
    w.Wheel(w.form.Panel3, -120); // down past the last
    EXPECT_EQ(w.form.ShownSeries, 3);
    w.Wheel(w.form.Panel3, 120);
    EXPECT_EQ(w.form.ShownSeries, 2);
    w.Select(0);
    w.Wheel(w.form.SeriesButtons[0], 120); // up from A: the last visible
    EXPECT_EQ(w.form.ShownSeries, 3);
}

TEST(WheelRouting, NoVisibleSeriesNothingHappens)
{
    Window w;
    w.Wheel(w.form.Panel3, 120);
    EXPECT_EQ(w.form.ShownSeries, 0);
    EXPECT_TRUE(w.form.SeriesButtons[0]->Checked());
}

TEST(WheelRouting, SlidersStepByTheirUnits)
{
    Window w;
    w.form.PreviewChanged(1);
    w.Load(MakeStack(5, 64, 64));
    w.Wheel(w.form.TrackBar3, 120);
    EXPECT_EQ(w.form.TrackBar3->Position(), std::min(400, w.form.Model.Stacks[0]->Zoom));
    const int zoom = w.form.TrackBar3->Position();
    w.Wheel(w.form.TrackBar3, -120);
    EXPECT_EQ(w.form.TrackBar3->Position(), std::max(50, zoom - 50));
    w.Wheel(w.form.TrackBar2, 120);
    EXPECT_EQ(w.form.TrackBar2->Position(), 7);
    w.Wheel(w.form.TrackBar1, 120);
    EXPECT_EQ(w.form.TrackBar2->Position(), 0); // the frame slider takes over
    EXPECT_EQ(w.form.TrackBar1->Position(), 1);
    w.Wheel(w.form.TrackBar1, -120);
    w.Wheel(w.form.TrackBar1, -120);
    EXPECT_EQ(w.form.TrackBar1->Position(), 0);
}

TEST(Keys, CtrlCThroughTheWindowCopiesTheShownImage)
{
    Window w;
    QApplication::clipboard()->clear();
    QTest::keyClick(&w.form, Qt::Key_C, Qt::ControlModifier);
    EXPECT_TRUE(QApplication::clipboard()->image().isNull());
    w.form.PreviewChanged(1);
    w.Load(MakeStack(1, 10, 7));
    QTest::keyClick(w.form.PaintBox1, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->image().size(), QSize(10, 7));
}

TEST(WheelRouting, SmallTurnsAddUpToWholeSteps)
{
    Window w;
    w.form.PreviewChanged(1);
    w.Load(MakeStack(5, 64, 64));
    w.form.TrackBar2->SetPosition(3);
    for (int i = 0; i < 4; ++i)
        w.Wheel(w.form.TrackBar2, 30); // a touchpad's flick in pieces
    EXPECT_EQ(w.form.TrackBar2->Position(), 4);
    w.Wheel(w.form.TrackBar2, 90);
    w.Wheel(w.form.TrackBar2, -60); // turned back: the rest is dropped
    w.Wheel(w.form.TrackBar2, -60);
    EXPECT_EQ(w.form.TrackBar2->Position(), 3);
    w.Wheel(w.form.TrackBar2, 60);
    w.Wheel(w.form.TrackBar1, 60); // another control starts afresh
    EXPECT_EQ(w.form.TrackBar1->Position(), 0);
    w.Wheel(w.form.TrackBar1, 240); // a fast wheel: two notches at once, a half left over
    EXPECT_EQ(w.form.TrackBar1->Position(), 2);
}

// ---- window size ----

TEST(MainWindowSize, TheDesignSizeIsTheSmallest)
{
    Window w;
    EXPECT_EQ(w.form.minimumSize(), QSize(800, 566));
    w.form.resize(500, 300);
    EXPECT_EQ(w.form.size(), QSize(800, 566));
    // The frame strip stays clear of the help button.
    EXPECT_LE(w.form.Panel10->x() + w.form.Panel10->width(), w.form.Panel11->x());
}

// ---- the Save command ----

namespace {

struct SaveAnswers {
    int asked = 0;
    QString folder;
    QString answer;
    QStringList told;
    void Attach(TForm1& form)
    {
        form.AskSaveName = [this](QWidget*, const QString& f, const QString&) {
            ++asked;
            folder = f;
            return answer;
        };
        form.TellUser = [this](QWidget*, const QString& message) { told << message; };
    }
};

} // namespace

TEST(SaveCommand, NoCaseNothingHappens)
{
    Window w;
    SaveAnswers save;
    save.Attach(w.form);
    EXPECT_NO_THROW(w.form.SpeedButton7Click());
    EXPECT_EQ(save.asked, 0);
    EXPECT_TRUE(save.told.isEmpty());
}

TEST(SaveDialog, TheFileTypeDecidesTheExtensionAndTheToolkitKeepsNoSettings)
{
    const struct {
        const char* typed; // null: the proposal as it stands
        const char* filter;
        const char* chosen;
    } cases[] = {{nullptr, kDicomFilter, "SERIES.DCM"}, {"scan", kDicomFilter, "scan.DCM"}, {"scan", kTiffFilter, "scan.TIF"}};
    QTemporaryDir dir;
    const QString shared = QSettings(QSettings::UserScope, "QtProject").fileName();
    const QDateTime before = QFileInfo(shared).lastModified(); // null when there is none
    for (const auto& c : cases) {
        QTimer::singleShot(0, [&c] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            auto* type = dialog->findChild<QComboBox*>("fileTypeCombo");
            for (int i = 0; i < type->count() && type->currentText() != c.filter; ++i) // as the user picks it
                QTest::keyClick(type, Qt::Key_Down);
            if (c.typed)
                dialog->findChild<QLineEdit*>("fileNameEdit")->setText(c.typed);
            QMetaObject::invokeMethod(dialog, "accept"); // the Save button
        });
        EXPECT_EQ(QFileInfo(AskSaveStackName(nullptr, dir.path(), "SERIES.TIF")).fileName(), c.chosen) << c.filter;
    }
    EXPECT_EQ(QFileInfo(shared).lastModified(), before);
    EXPECT_EQ(QSettings(QSettings::UserScope, "QtProject").fileName(), shared);
}

TEST(SaveCommand, ASeriesWithoutImagesSavesNothingAndSaysSo)
{
    QTemporaryDir out;
    Window w;
    SaveAnswers save;
    save.Attach(w.form);
    save.answer = out.filePath("b.tif");
    w.form.PreviewChanged(3);
    w.Load(MakeStack(2, 8, 8, "/cases/a/a.dcm"));
    w.Load(MakeStack(0, 8, 8, "/cases/a/b.dcm")); // a stack whose images are still to come
    w.Select(1);
    w.form.SpeedButton7Click();
    w.Select(2); // a series whose stack does not exist yet
    w.form.SpeedButton7Click();
    EXPECT_EQ(save.asked, 0);
    EXPECT_EQ(save.told.size(), 2);
    EXPECT_FALSE(save.told.value(0).isEmpty());
    EXPECT_TRUE(QDir(out.path()).isEmpty());
}

TEST(SaveCommand, TheDialogStartsInTheFolderLastSavedToElseDocuments)
{
    QTemporaryDir out;
    Window w;
    SaveAnswers save;
    save.Attach(w.form);
    w.form.PreviewChanged(1);
    w.Load(MakeStack(2, 8, 8, "/cases/a/a.dcm"));
    w.form.SpeedButton7Click(); // cancelled
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    EXPECT_EQ(save.folder, QFileInfo(documents).isDir() ? documents : QDir::homePath());
    save.answer = QDir(out.path()).filePath("sub/../a.TIF");
    QDir(out.path()).mkdir("sub");
    w.form.SpeedButton7Click();
    save.answer.clear();
    w.form.SpeedButton7Click();
    EXPECT_EQ(QDir(save.folder).canonicalPath(), QDir(out.path()).canonicalPath());
    EXPECT_EQ(save.asked, 3);
}
