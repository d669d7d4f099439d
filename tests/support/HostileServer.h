#pragma once
// A listener on 127.0.0.1 that misbehaves as a broken or hostile case server
// does, for tests of time-outs and aborts:
//   Mute         completes the TCP connect and never sends a greeting;
//   Deaf         greets, then answers the first AnsweredCommands command
//                lines (enough for a login) and never another one;
//   Unreachable  takes no connection at all: its accept queue is held full,
//                so a connect waits for an answer that never comes.
// Every connection stays open until the server ends.
//
// Threads: built and ended on the test's thread; a thread of its own accepts
// and answers connections.
#include <atomic>
#include <thread>
#include <vector>

class HostileServer {
public:
    enum Kind { Mute, Deaf, Unreachable };

    // A login takes LoginCommands answers (USER, PASS, PWD, TYPE I).
    static constexpr int LoginCommands = 4;
    explicit HostileServer(Kind kind, int answered = 0);
    ~HostileServer();
    HostileServer(const HostileServer&) = delete;
    HostileServer& operator=(const HostileServer&) = delete;

    int Port() const { return m_port; }

private:
    void Serve();

    Kind m_kind;
    int m_answered;
    int m_listener = -1;
    int m_port = 0;
    std::vector<int> m_fillers; // connections that keep an Unreachable queue full
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};
