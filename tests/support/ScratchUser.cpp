#include "ScratchUser.h"

#include <cstdlib>
#include <random>
#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
// The password file may be locked by a parallel test's useradd: tried again.
constexpr int kAttempts = 50;
constexpr useconds_t kPauseUs = 100000;

bool Retried(const std::string& command)
{
    for (int i = 0; i < kAttempts; ++i, ::usleep(kPauseUs))
        if (std::system((command + " 2>/dev/null").c_str()) == 0)
            return true;
    return false;
}
} // namespace

TScratchUser::TScratchUser(const std::string& loginHome) : m_name("caldrisnb" + std::to_string(::getpid()))
{
    const std::string shell = loginHome.empty() ? " -s /usr/sbin/nologin " : " -s /bin/bash -d '" + loginHome + "' ";
    const bool added = ::geteuid() == 0 && Retried("useradd --system -M -N -g nogroup" + shell + m_name);
    const passwd* pw = added ? ::getpwnam(m_name.c_str()) : nullptr;
    m_uid = pw ? pw->pw_uid : 0;
    m_gid = pw ? pw->pw_gid : 0;
    std::random_device random;
    for (int i = 0; i < 16 && !loginHome.empty(); ++i)
        m_password += char('a' + random() % 26);
    m_made = pw && (loginHome.empty() || Retried("echo " + m_name + ":" + m_password + " | chpasswd"));
}

TScratchUser::~TScratchUser()
{
    if (m_uid != 0)
        Retried("userdel " + m_name);
}

pid_t TScratchUser::Start(const std::function<int()>& asUser, const std::function<void()>& asRoot) const
{
    const pid_t pid = ::fork();
    if (pid != 0)
        return pid;
    if (asRoot)
        asRoot();
    const bool dropped = ::setgroups(0, nullptr) == 0 && ::setresgid(m_gid, m_gid, m_gid) == 0 &&
                         ::setresuid(m_uid, m_uid, m_uid) == 0;
    ::_exit(dropped ? asUser() : 125);
}

bool TScratchUser::Ended(pid_t child, int* code, bool wait)
{
    int status = 0;
    if (::waitpid(child, &status, wait ? 0 : WNOHANG) != child)
        return false;
    *code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return true;
}
