#pragma once
// A second local user for the tests of what another user of the machine can
// do, or (given a home) one that logs in to a real server with a fresh
// password: made with useradd when the tests run as root (CI does), removed
// at the end. Elsewhere Available() is false and the test skips with SkipReason.
#include <sys/types.h>

#include <functional>
#include <string>

class TScratchUser {
public:
    explicit TScratchUser(const std::string& loginHome = {});
    ~TScratchUser();
    TScratchUser(const TScratchUser&) = delete;
    TScratchUser& operator=(const TScratchUser&) = delete;
    bool Available() const { return m_made; }
    uid_t Uid() const { return m_uid; }
    const std::string& Name() const { return m_name; }
    const std::string& Password() const { return m_password; }
    static constexpr const char* SkipReason = "needs root to add a second local user; CI runs the tests as root";

    // Forks a child that runs asRoot, drops to this user and ends with
    // asUser's code. Only system calls belong in them.
    pid_t Start(const std::function<int()>& asUser, const std::function<void()>& asRoot = {}) const;
    // The child's exit code once it ended (-1 when killed); false while it runs.
    static bool Ended(pid_t child, int* code, bool wait);

private:
    std::string m_name;
    std::string m_password;
    uid_t m_uid = 0;
    gid_t m_gid = 0;
    bool m_made = false;
};
