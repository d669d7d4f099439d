// Start-up pieces: the splash and the about box with message 0x0400, the
// help window, exception reporting, held-back loader calls and the single
// instance across two processes.
#include "Exception.h"
#include "FakeImages.h"
#include "FakeLoader.h"
#include "Messages.h"
#include "Program.h"
#include "StartFolder.h"
#include "TAboutBox.h"
#include "TClickImage.h"
#include "TApplication.h"
#include "TDownloadPlaceholder.h"
#include "TForm1.h"
#include "THelp.h"
#include "TNotificationHold.h"
#include "ScopedEnv.h"
#include "ScratchUser.h"
#include "TSingleInstance.h"
#include "TThreadSync.h"
#include "WaitUntil.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLockFile>
#include <QPainter>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QUrl>
#include <QTimer>
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstring>
#include <optional>
#include <thread>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

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
};

// Closes whatever modal window is up after the event loop starts, by Enter.
void PressEnterInModal()
{
    QTimer::singleShot(0, [] {
        if (QWidget* modal = QApplication::activeModalWidget())
            QTest::keyClick(modal, Qt::Key_Return);
    });
}

} // namespace

// ---- splash, about box and message 0x0400 ----

TEST(Splash, ClosingTheSplashShowsTheManagerOnceAndLaterAboutBoxesAreIgnored)
{
    Window w;
    auto* splash = new TAboutBox();
    splash->ShowSplash();
    EXPECT_EQ(AboutBox, splash);
    EXPECT_TRUE(splash->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_FALSE(splash->isModal());

    QTest::keyClick(splash, Qt::Key_Return); // the splash ignores Enter
    Settle();
    EXPECT_TRUE(splash->isVisible());

    // The logo does nothing while the splash exists (no modal box appears).
    bool sawModal = false;
    QTimer::singleShot(0, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            sawModal = true;
            modal->close();
        }
    });
    w.form.Image1Click();
    Settle();
    EXPECT_FALSE(sawModal);

    EXPECT_FALSE(w.form.ManagerShown());
    splash->OkBtnClick();
    Settle();
    EXPECT_EQ(AboutBox, nullptr);
    EXPECT_TRUE(w.form.ManagerShown());
    EXPECT_TRUE(w.form.ManagerShownOnce);

    w.form.SpeedButton1Click();
    EXPECT_FALSE(w.form.ManagerShown());
    PressEnterInModal(); // Enter closes the modal about box
    w.form.Image1Click();
    EXPECT_EQ(AboutBox, nullptr);
    Settle(); // its 0x0400 arrives and is ignored
    EXPECT_FALSE(w.form.ManagerShown());
}

TEST(Splash, TheStartFolderOpensAfterTheSplashWithoutTheLogin)
{
    Window w;
    w.form.StartFolder = "/cases/one/";
    PostMessage(&w.form, WM_USER);
    Settle();
    ASSERT_EQ(w.loader.Started.size(), 1u);
    EXPECT_EQ(w.loader.Started[0], "/cases/one/");
    EXPECT_FALSE(w.form.ManagerShown());
    EXPECT_FALSE(w.manager->Initialised()); // no login yet
    PostMessage(&w.form, WM_USER);
    Settle();
    EXPECT_EQ(w.loader.Started.size(), 1u);
    w.form.Image3Click(); // the login comes with the manager
    EXPECT_TRUE(w.manager->Initialised());
    EXPECT_TRUE(w.form.ManagerShown());
}

TEST(Splash, AFolderHandedOverOpensOnceTheSplashHasGone)
{
    Window w;
    w.form.OpenFolder("/cases/two/"); // while the splash is up
    EXPECT_TRUE(w.loader.Started.empty());
    PostMessage(&w.form, WM_USER);
    Settle();
    EXPECT_EQ(w.loader.Started, (std::vector<std::string>{"/cases/two/"}));
    w.form.Image3Click();
    w.form.OpenFolder("/cases/three/"); // later: at once, from the manager too
    EXPECT_EQ(w.loader.Started, (std::vector<std::string>{"/cases/two/", "/cases/three/"}));
    EXPECT_FALSE(w.form.ManagerShown());
}

TEST(Splash, AClickAnywhereOnTheSplashClosesIt)
{
    Window w;
    auto* splash = new TAboutBox();
    splash->ShowSplash();
    QPointer<TAboutBox> alive = splash;
    QTest::mouseClick(splash, Qt::LeftButton, {}, QPoint(60, 60)); // on the picture, far from OK
    Settle();
    EXPECT_TRUE(alive.isNull());
    EXPECT_EQ(AboutBox, nullptr);
    EXPECT_TRUE(w.form.ManagerShown());
}

TEST(Splash, IsOnScreenWhenShowSplashReturns)
{
    // Only a real window system exposes windows later than they are shown.
    const QString xvfb = QStandardPaths::findExecutable("xvfb-run");
    if (xvfb.isEmpty())
        GTEST_SKIP() << "no xvfb-run";
    QProcess probe;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("ASAN_OPTIONS", "detect_leaks=0"); // the X libraries keep some memory to the end
    probe.setProcessEnvironment(env);
    probe.start(xvfb, {"-a", "-s", "-screen 0 1024x768x24", CALDRIS_SPLASH_PROBE});
    ASSERT_TRUE(probe.waitForFinished(60000));
    const QString out = QString::fromUtf8(probe.readAllStandardOutput()).trimmed();
    const QStringList counts = out.section(' ', 1).split('/');
    ASSERT_EQ(counts.size(), 2) << out.toStdString() << probe.readAllStandardError().toStdString();
    EXPECT_GE(counts[0].toInt() * 10, counts[1].toInt() * 9) << out.toStdString();
}

TEST(AboutBox, HasTheDesignSizeAndTexts)
{
    TAboutBox box;
    EXPECT_EQ(box.size(), QSize(675, 430));
    EXPECT_EQ(box.windowTitle(), "About Caldris");
    EXPECT_EQ(box.Label4->text(), "NOT approved by the FDA as a diagnostic tool");
    EXPECT_TRUE(box.Label4->font().bold());
    EXPECT_EQ(box.OkBtn->size(), QSize(72, 21));
    EXPECT_FALSE(box.Label2->text().isEmpty());
}

// ---- help ----

TEST(HelpWindow, CaptionSizeAndGuideTopics)
{
    SetApplicationTitle(kFullTitle);
    THelp help;
    EXPECT_EQ(help.windowTitle(), "Caldris Version 1.5 Help");
    EXPECT_EQ(help.size(), QSize(673, 459));
    EXPECT_EQ(help.RichEdit1->geometry(), QRect(24, 24, 630, 385));
    EXPECT_TRUE(help.RichEdit1->isReadOnly());
    const QString text = help.RichEdit1->toPlainText();
    for (const char* topic : {"Speed", "Zoom", "Pan", "right mouse button", "One", "All", "Select Current",
                              "Green, Local", "Yellow, Incomplete", "Red, Remote", "Save"})
        EXPECT_TRUE(text.contains(topic)) << topic;
    // Reset shows the whole range of values; it restores no stored window.
    EXPECT_TRUE(text.contains("whole range of values"));
    EXPECT_FALSE(text.contains("original windowing"));
    QTimer::singleShot(0, [&] { help.Image1Click(); });
    EXPECT_EQ(help.exec(), QDialog::Accepted);
}

TEST(HelpWindow, TheStateLightsAreShown)
{
    THelp help;
    QTextDocument* doc = help.RichEdit1->document();
    QStringList pictures;
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it)
            if (it.fragment().charFormat().isImageFormat())
                pictures << it.fragment().charFormat().toImageFormat().name();
    ASSERT_EQ(pictures.size(), 3);
    for (const QString& name : pictures) {
        const QVariant picture = doc->resource(QTextDocument::ImageResource, QUrl(name));
        EXPECT_FALSE(picture.value<QPixmap>().isNull()) << name.toStdString();
    }
    // Drawn as the window draws them: some pixels are the green light's.
    doc->setTextWidth(600);
    QImage page(600, int(doc->size().height()), QImage::Format_RGB32);
    page.fill(Qt::white);
    QPainter p(&page);
    doc->drawContents(&p);
    p.end();
    int green = 0;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < 40 && x < page.width(); ++x) {
            const QColor c = page.pixelColor(x, y);
            green += c.green() > 120 && c.red() < 100 && c.blue() < 100;
        }
    EXPECT_GT(green, 20);
}

// ---- exception reporting ----

namespace {
class Thrower : public QObject {
public:
    bool quiet = false;
    bool event(QEvent* e) override
    {
        if (e->type() != QEvent::User)
            return QObject::event(e);
        if (quiet)
            throw EAbort("Operation aborted");
        throw EKerbelinError("Unsupported image format");
    }
};
} // namespace

TEST(ExceptionReporting, AnEscapedExceptionIsShownAndTheLoopGoesOn)
{
    std::vector<QString> shown;
    auto saved = TApplication::ShowException;
    TApplication::ShowException = [&](const QString& m) { shown.push_back(m); };
    Thrower t;
    QEvent e(QEvent::User);
    EXPECT_FALSE(QCoreApplication::sendEvent(&t, &e));
    t.quiet = true;
    QCoreApplication::sendEvent(&t, &e);
    QCoreApplication::postEvent(&t, new QEvent(QEvent::User));
    Settle();
    TApplication::ShowException = saved;
    EXPECT_EQ(shown, (std::vector<QString>{"Unsupported image format"})); // aborts are silent
}

// ---- loader calls held back during a stack switch ----

TEST(NotificationHold, AWorkerCallWaitsUntilTheHoldEnds)
{
    TThreadSync sync;
    std::atomic<bool> ran{false};
    std::optional<TNotificationHold> hold;
    hold.emplace();
    std::thread worker([&] { sync.Synchronize([&] { ran = true; }); });
    const QDeadlineTimer settle(200);
    while (!settle.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_FALSE(ran);
    hold.reset();
    const QDeadlineTimer deadline(10000);
    while (!ran && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_TRUE(ran);
    worker.join();
}

// ---- single instance across two processes ----

namespace {

struct Probe {
    QTemporaryDir dir;
    QString base = QString("CaldrisTest%1").arg(QCoreApplication::applicationPid());
    QProcess process;
    bool Start(const char* mode)
    {
        process.start(CALDRIS_INSTANCE_PROBE, {dir.path(), base, mode});
        if (!process.waitForStarted(10000))
            return false;
        QByteArray out;
        const QDeadlineTimer deadline(20000);
        while (!out.contains("READY") && !deadline.hasExpired()) {
            process.waitForReadyRead(200);
            out += process.readAllStandardOutput();
        }
        return out.contains("READY");
    }
    QString Finish()
    {
        process.waitForFinished(20000);
        return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    }
};

} // namespace

TEST(SingleInstance, ASecondStartRaisesTheRunningMainWindowAndEnds)
{
    Probe probe;
    ASSERT_TRUE(probe.Start("main"));
    TSingleInstance second(probe.base, probe.dir.path());
    EXPECT_EQ(second.Acquire(), TSingleInstance::AlreadyRunning);
    EXPECT_EQ(probe.Finish(), "RAISED 1 minimized=0");
    EXPECT_EQ(probe.process.exitCode(), 0);
    // the token is free again once the first instance has ended
    TSingleInstance third(probe.base, probe.dir.path());
    EXPECT_EQ(third.Acquire(), TSingleInstance::First);
}

TEST(SingleInstance, ASecondStartHandsItsFolderToTheRunningViewer)
{
    Probe probe;
    ASSERT_TRUE(probe.Start("main"));
    TSingleInstance second(probe.base, probe.dir.path());
    EXPECT_EQ(second.Acquire("/cases/grp/Doe^Jane!77/Head CT!2004.05.17/"), TSingleInstance::AlreadyRunning);
    EXPECT_EQ(probe.Finish(), "OPEN /cases/grp/Doe^Jane!77/Head CT!2004.05.17/\nRAISED 1 minimized=0");
}

TEST(SingleInstance, DuringTheSplashNothingIsRestored)
{
    Probe probe;
    ASSERT_TRUE(probe.Start("splash"));
    TSingleInstance second(probe.base, probe.dir.path());
    EXPECT_EQ(second.Acquire(), TSingleInstance::AlreadyRunning);
    EXPECT_EQ(probe.Finish(), "RAISED 0 minimized=0");
}

TEST(SingleInstance, WithoutATokenTheProgramRunsAlone)
{
    TSingleInstance lone("CaldrisTestLone", "/nonexistent/folder/for/the/lock");
    EXPECT_EQ(lone.Acquire(), TSingleInstance::NoToken);
}

// ---- single instance against another user of the machine ----

namespace {

// Waits for a test's child, serving the event loop meanwhile; one that hangs is ended.
int ChildEnd(pid_t child)
{
    int code = -1;
    if (!WaitUntil([&] { return TScratchUser::Ended(child, &code, false); }))
        ::kill(child, SIGKILL), TScratchUser::Ended(child, &code, true);
    return code;
}

// How many bytes a peer sent before it hung up.
int Drain(int fd)
{
    char buf[256];
    int count = 0;
    for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;)
        count += int(n);
    return count;
}

sockaddr_un Address(const QString& path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, QFile::encodeName(path).constData(), sizeof address.sun_path - 1);
    return address;
}

} // namespace

// Without a valid runtime folder (su, ssh, cron) the token lives in a private
// folder under the cache base, never in a shared one.
TEST(SingleInstance, TheTokenLivesInAPrivateFolderOfOurs)
{
    QTemporaryDir dir;
    const ScopedEnv cache("XDG_CACHE_HOME", dir.filePath("cache"));
    const QString run = dir.filePath("run");
    QDir().mkpath(run);
    const struct {
        QString runtime;
        mode_t mode;
        QString folder;
    } cases[] = {{"", 0700, dir.filePath("cache/caldris")}, {"run", 0700, dir.filePath("cache/caldris")},
                 {run, 0755, dir.filePath("cache/caldris")}, {run, 0700, run}};
    for (const auto& c : cases) {
        ASSERT_EQ(::chmod(QFile::encodeName(run).constData(), c.mode), 0);
        const ScopedEnv runtime("XDG_RUNTIME_DIR", c.runtime);
        TSingleInstance instance("CaldrisTestPrivate");
        EXPECT_EQ(instance.Folder(), c.folder) << c.runtime.toStdString();
        EXPECT_EQ(instance.Acquire(), TSingleInstance::First);
        EXPECT_EQ(QFileInfo(c.folder).permissions().toInt() & 0x0077, 0) << "open to others";
    }
}

// A lock of someone else's is not believed; a listener of someone else's
// hears no folder; a later start of someone else's is not listened to.
TEST(SingleInstance, ALockOrAPeerOfAnotherUserIsRefused)
{
    TScratchUser neighbour;
    if (!neighbour.Available())
        GTEST_SKIP() << TScratchUser::SkipReason;
    QTemporaryDir dir;
    TSingleInstance planted("CaldrisTestPlanted", dir.path());
    QFile lock(planted.LockPath());
    ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
    ASSERT_EQ(::fchown(lock.handle(), neighbour.Uid(), gid_t(-1)), 0);
    EXPECT_EQ(planted.Acquire("/cases/g/p/s/"), TSingleInstance::NoToken);

    TSingleInstance later("CaldrisTestListener", dir.path());
    QLockFile held(later.LockPath());
    ASSERT_TRUE(held.tryLock(0));
    int pipes[2];
    ASSERT_EQ(::pipe(pipes), 0);
    const sockaddr_un address = Address(later.ServerName());
    int listener = -1;
    const pid_t child = neighbour.Start(
        [&] {
            if (::listen(listener, 1) != 0 || ::write(pipes[1], "L", 1) != 1)
                return 1;
            const int count = Drain(::accept(listener, nullptr, nullptr));
            return ::write(pipes[1], &count, sizeof count) == sizeof count ? 0 : 1;
        },
        [&] {
            listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
            ::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address);
        });
    ::close(pipes[1]);
    char listening = 0;
    ASSERT_EQ(::read(pipes[0], &listening, 1), 1);
    EXPECT_EQ(later.Acquire("/cases/g/p/s/"), TSingleInstance::NoToken);
    EXPECT_EQ(ChildEnd(child), 0);
    int heard = -1;
    EXPECT_EQ(::read(pipes[0], &heard, sizeof heard), ssize_t(sizeof heard));
    EXPECT_EQ(heard, 0) << "the folder went to another user";
    ::close(pipes[0]);

    TSingleInstance first("CaldrisTestFirst", dir.path());
    ASSERT_EQ(first.Acquire(), TSingleInstance::First);
    int requests = 0;
    first.OnOpenFolder = [&](const QString&) { ++requests; };
    first.OnRestored = [&](int) { ++requests; };
    // Opened up so that the other user reaches the socket at all.
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0711), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(first.ServerName()).constData(), 0777), 0);
    const sockaddr_un ours = Address(first.ServerName());
    const pid_t intruder = neighbour.Start([&] {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        const char request[] = "OPEN /home/neighbour/case/\nRESTORE\n";
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&ours), sizeof ours) != 0 ||
            ::write(fd, request, sizeof request - 1) != ssize_t(sizeof request - 1))
            return 2;
        return Drain(fd) == 0 ? 0 : 3; // hung up on, nothing answered
    });
    EXPECT_EQ(ChildEnd(intruder), 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(requests, 0);
}

TEST(StartFolder, AFolderThatCannotBeOpenedIsNamedInASentence)
{
    QTemporaryDir dir;
    const QString missing = dir.filePath("missing"), file = dir.filePath("file"), locked = dir.filePath("locked");
    QFile(file).open(QIODevice::WriteOnly);
    ASSERT_TRUE(QDir().mkdir(locked));
    QFile::setPermissions(locked, QFileDevice::WriteOwner);
    EXPECT_EQ(CaseFolderProblem(dir.path()), "");
    EXPECT_EQ(CaseFolderProblem(missing), QString("The case folder \"%1\" does not exist.").arg(missing));
    EXPECT_EQ(CaseFolderProblem(file), QString("\"%1\" is not a case folder.").arg(file));
    if (::geteuid() != 0) { // root reads every folder
        EXPECT_EQ(CaseFolderProblem(locked), QString("The case folder \"%1\" cannot be read.").arg(locked));
    }
    QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}
