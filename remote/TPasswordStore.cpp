#include "TPasswordStore.h"

#include <qt6keychain/keychain.h>

#include <QEventLoop>
#include <QTimer>
#include <QUrl>

#include <atomic>

namespace {

const char* const ServiceName = "caldris";
// A keyring that takes longer than this to answer counts as none.
constexpr int KeyringWaitMs = 5000;

std::atomic<bool> gKeyringAnswers{true};

bool Unanswered(QKeychain::Error error)
{
    return error != QKeychain::NoError && error != QKeychain::EntryNotFound;
}

// Runs a job to its end; false (and the keyring given up for this run) when
// no keyring answered. A job that outlives the wait frees itself later.
bool Run(QKeychain::Job* job)
{
    job->setAutoDelete(false);
    QEventLoop loop;
    bool finished = false;
    QObject::connect(job, &QKeychain::Job::finished, &loop, [&] {
        finished = true;
        loop.quit();
    });
    QTimer::singleShot(KeyringWaitMs, &loop, &QEventLoop::quit);
    job->start();
    if (!finished)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (!finished) {
        QObject::disconnect(job, nullptr, &loop, nullptr);
        job->setAutoDelete(true);
        gKeyringAnswers = false;
        return false;
    }
    if (Unanswered(job->error()))
        gKeyringAnswers = false;
    return !Unanswered(job->error());
}

} // namespace

const QString TPasswordStore::FallbackNote = QStringLiteral(
    "No desktop keyring answers: a remembered password is kept in your private settings file.");

TPasswordStore::TPasswordStore(TProfile profile, const std::string& host, int port)
    : m_profile(std::move(profile)), m_host(host), m_port(port)
{
}

bool TPasswordStore::KeyringAnswers() { return gKeyringAnswers; }

QString TPasswordStore::EntryKey(const QString& user) const
{
    QUrl url;
    url.setScheme("ftp");
    url.setUserName(user);
    url.setHost(QString::fromStdString(m_host));
    url.setPort(m_port);
    return url.toString();
}

std::optional<QString> TPasswordStore::FromKeyring(const QString& key) const
{
    if (!gKeyringAnswers)
        return std::nullopt;
    auto* job = new QKeychain::ReadPasswordJob(ServiceName);
    job->setKey(key);
    std::optional<QString> password;
    if (Run(job) && job->error() == QKeychain::NoError)
        password = job->textData();
    if (!job->autoDelete())
        delete job;
    return password;
}

bool TPasswordStore::Probe() const
{
    static std::atomic<bool> asked{false};
    if (!asked.exchange(true))
        FromKeyring(EntryKey(QString()));
    return gKeyringAnswers;
}

QString TPasswordStore::Read(const QString& user) const
{
    if (user.isEmpty())
        return QString();
    const std::optional<QString> password = FromKeyring(EntryKey(user));
    return password ? *password : m_profile.ReadString("Users", user, QString());
}

void TPasswordStore::Remember(const QString& user, const QString& password)
{
    bool inKeyring = false;
    if (gKeyringAnswers) {
        QKeychain::Job* job = nullptr;
        if (password.isEmpty()) {
            job = new QKeychain::DeletePasswordJob(ServiceName);
        } else {
            auto* write = new QKeychain::WritePasswordJob(ServiceName);
            write->setTextData(password);
            job = write;
        }
        job->setKey(EntryKey(user));
        inKeyring = Run(job) && !password.isEmpty();
        if (!job->autoDelete())
            delete job;
    }
    m_profile.WriteString("Users", user, inKeyring ? QString() : password);
}
