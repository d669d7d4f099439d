#include "TPasswordStore.h"

#include "ConnectionSettings.h"

#include <qt6keychain/keychain.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QEventLoop>
#include <QTimer>

#include <atomic>

namespace {

const char* const ServiceName = "caldris";
const char* const PasswordsSection = "Passwords";
// A keyring that takes longer than this to answer counts as refusing.
constexpr int KeyringWaitMs = 5000;

std::atomic<TPasswordStore::TKeyring> gKeyring{TPasswordStore::TKeyring::Answers};

// A failure that shows a keyring exists but will not give or keep the entry.
bool Refusal(QKeychain::Error error)
{
    return error == QKeychain::AccessDenied || error == QKeychain::AccessDeniedByUser;
}

// A Secret Service on the session bus. One that is there but fails a call
// (a locked keyring that nobody can unlock) refuses; it is not missing, and
// the password must not move into the file in its place.
bool SecretServiceRuns()
{
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface())
        return false;
    const QDBusReply<bool> owned = bus.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.secrets"));
    return owned.isValid() && owned.value();
}

bool Failed(QKeychain::Error error)
{
    return error != QKeychain::NoError && error != QKeychain::EntryNotFound;
}

// Runs a job to its end; false (and the keyring given up for this run) when
// it failed. A job that outlives the wait frees itself later.
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
        gKeyring = TPasswordStore::TKeyring::Refuses;
        return false;
    }
    if (Failed(job->error()))
        gKeyring = Refusal(job->error()) || SecretServiceRuns() ? TPasswordStore::TKeyring::Refuses
                                                                : TPasswordStore::TKeyring::Missing;
    return !Failed(job->error());
}

// Every byte but letters, digits and "-._~" as "%XX": nothing is dropped.
QString Encoded(const QString& text)
{
    return QString::fromLatin1(text.toUtf8().toPercentEncoding());
}

} // namespace

const QString TPasswordStore::FallbackNote = QStringLiteral(
    "No desktop keyring answers: a remembered password is kept in your private settings file.");
const QString TPasswordStore::RefusedNote = QStringLiteral(
    "The desktop keyring is locked or refuses: your password cannot be remembered.");

TPasswordStore::TPasswordStore(TProfile profile, const std::string& host, int port)
    : m_profile(std::move(profile)), m_host(host), m_port(port)
{
}

TPasswordStore::TKeyring TPasswordStore::Keyring() { return gKeyring; }

QString TPasswordStore::EntryKey(const QString& user) const
{
    return "ftp://" + Encoded(user) + '@' + Encoded(QString::fromStdString(m_host).toLower()) + ':' +
           QString::number(m_port);
}

std::optional<QString> TPasswordStore::FromKeyring(const QString& key) const
{
    if (gKeyring != TKeyring::Answers)
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

TPasswordStore::TKeyring TPasswordStore::Probe() const
{
    static std::atomic<bool> asked{false};
    if (!asked.exchange(true))
        FromKeyring(EntryKey(QString()));
    return gKeyring;
}

QString TPasswordStore::Read(const QString& user) const
{
    if (user.isEmpty())
        return QString();
    const std::optional<QString> fromKeyring = FromKeyring(EntryKey(user));
    QString password = fromKeyring ? *fromKeyring : QString();
    if (password.isEmpty())
        password = m_profile.ReadString(PasswordsSection, EntryKey(user), QString());
    // Untied: saved for the server the user's own file names (a single
    // named file names its own), never for one someone else's file points to.
    if (password.isEmpty() && (m_profile.DefaultsPath().isEmpty() || m_profile.OwnFileHas("FTP", "Host")))
        password = m_profile.ReadString("Users", user, QString());
    if (!password.isEmpty())
        ConnectionSettings::HoldingPassword();
    return password;
}

void TPasswordStore::SetFileEntry(const QString& key, const QString& password)
{
    if (m_profile.ReadString(PasswordsSection, key, QString()) != password)
        m_profile.WriteString(PasswordsSection, key, password);
}

bool TPasswordStore::Remember(const QString& user, const QString& password)
{
    const QString key = EntryKey(user);
    if (gKeyring == TKeyring::Answers) {
        QKeychain::Job* job = nullptr;
        if (password.isEmpty()) {
            job = new QKeychain::DeletePasswordJob(ServiceName);
        } else {
            auto* write = new QKeychain::WritePasswordJob(ServiceName);
            write->setTextData(password);
            job = write;
        }
        job->setKey(key);
        Run(job);
        if (!job->autoDelete())
            delete job;
    }
    // The file holds it only where no keyring exists; any older copy goes.
    SetFileEntry(key, gKeyring == TKeyring::Missing ? password : QString());
    m_profile.WriteString("Users", user, QString());
    return gKeyring != TKeyring::Refuses || password.isEmpty();
}
