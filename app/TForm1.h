#pragma once
// The main window: case texts on top, series buttons A to O on the left,
// speed and zoom on the right, the frame slider below and, in the centre,
// the image view, the PDF report or the download manager. Opens cases with
// the case loader and receives its notifications.
//
// Threads: UI thread only. The loader's notifications (ILoaderClient) run
// on this thread while the loader waits; they are held back while a stack
// switch creates the PDF control.
#include "ILoaderClient.h"
#include "TDisplayForm.h"

#include <QPixmap>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class IDownloadManager;
class ILoaderControl;
class QFrame;
class QLabel;
class QToolButton;
class TCaseArrivals;
class TClickImage;
class TPdf;

class TForm1 : public TDisplayForm, public ILoaderClient {
public:
    // The design size, also the smallest size the window takes.
    static constexpr int kDesignWidth = 800;
    static constexpr int kDesignHeight = 566;

    // Makes the download manager pane inside the given parent.
    using TManagerFactory = std::function<IDownloadManager*(QWidget* parent)>;

    TForm1(const IWindowAdapter& windows, ILoaderControl& loaders, const TManagerFactory& makeManager,
           QWidget* parent = nullptr);
    ~TForm1() override;

    // Top bar
    QWidget* Panel4;
    TClickImage* Image3; // download manager button
    QLabel* PatientName;
    QLabel* StudyDescription;
    QLabel* Comments; // the referrer
    QLabel* StudyDate;
    QWidget* Panel8;
    TClickImage* Image1; // logo: about
    // Series column (Panel3 and the buttons are the display's)
    QLabel* SeriesCaption;
    TClickImage* Image4; // loading marker
    QWidget* Panel7;
    TClickImage* Image17; // save
    QLabel* Label2;
    // Right column
    QWidget* Panel2;
    // Bottom bar
    QWidget* Panel1;
    QLabel* Label9; // loading label
    bool MemoryNoticeShown = false; // Label9 keeps the notice until the next case
    bool IncompleteNoticeShown = false; // likewise
    QWidget* Panel10;
    QLabel* Label8;
    QLabel* Label5; // frame count
    QWidget* Panel11;
    TClickImage* Image2; // help
    // Centre
    QFrame* Panel5;
    TPdf* PdfView = nullptr;
    QWidget* Chooser;
    QLabel* Panel12;
    QToolButton* SpeedButton1;
    IDownloadManager* FTPList1;
    QPixmap Image9; // the background tile

    // The save dialog of the "Save" command and its message box (tests answer them).
    std::function<QString(QWidget* parent, const QString& folder, const QString& proposed)> AskSaveName;
    std::function<void(QWidget* parent, const QString& message)> TellUser;
    // The folder last saved to in this run; empty until the first save.
    QString LastSaveFolder;
    // Called when the window is closed (start-up ends the message loop).
    std::function<void()> OnFormClose;
    // A folder to open once the splash has gone (the command-line case).
    std::string StartFolder;

    void Image7Click(class TAquaRadio* sender);
    void TrackBar4Change();
    void Image3Click();
    void SpeedButton1Click();
    void SpeedButton7Click();
    // arrivals: the case downloads and is shown as its files arrive.
    void OpenCase(const std::string& folder, std::shared_ptr<TCaseArrivals> arrivals = nullptr);
    // A folder handed over by a later start of the program.
    void OpenFolder(const std::string& folder);
    void ViewCase();           // ViewCaseMessage
    void FirstManagerMessage(); // 0x0400
    void Image1Click();
    void Image2Click();
    void Panel1Resize();
    void PaintBox2Paint(QWidget* box, QPainter& canvas);

    void PreviewChanged(int previewCount) override;
    void FrameAdded() override;
    void NotEnoughMemory() override;
    void LoaderDone() override;
    void StackInserted(int index) override;
    void StackMoved(int from, int to) override;
    void FrameInserted(const TStack& stack, size_t index) override;
    void CaseIncomplete() override;

    bool ManagerShownOnce = false;
    // The loading label's text when some images of the case were left out.
    static const char* const kNotEnoughMemory;
    // The loading label's text when the download of the shown case ended
    // without every file.
    static const char* const kIncompleteCase;
    bool ManagerShown() const;

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void FormCreate();
    void FormDestroy();
    void BuildTopBar();
    void BuildColumns();
    void BuildBottomBar();
    void BuildCentre();
    void Layout();
    void RefreshFrames(TStack& stack);
    void ShowNoStack();
    // The frame strip, the save panel and the slider thumbs go with the image view.
    void ShowImageControls(bool imageView);
    void ClearCaseTexts();
    void ShowCaseTexts(const TStack& stack);
    // Keeps showing the same stack after stacks went in before it.
    void FollowShownStack(int series);
    QWidget* Textured(QWidget* panel);

    ILoaderControl& m_loaders;
    std::shared_ptr<TCaseArrivals> m_following; // of the last loader started
    bool m_movingSelection = false; // the shown stack's button follows it
    std::vector<QWidget*> m_backgrounds;
    std::vector<QLabel*> m_zoomMarks;
};
