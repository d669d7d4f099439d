#include "HostileServer.h"

#include <stdexcept>
#include <string>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int PollStepMs = 20;

// A plausible answer to a command line.
std::string ReplyFor(const std::string& line)
{
    const std::string verb = line.substr(0, line.find_first_of(" \r\n"));
    if (verb == "USER")
        return "331 Password required.\r\n";
    if (verb == "PASS")
        return "230 Logged in.\r\n";
    if (verb == "PWD")
        return "257 \"/\" is the current directory.\r\n";
    if (verb == "CWD")
        return "250 OK.\r\n";
    return "200 OK.\r\n";
}

void SendAll(int fd, const std::string& text)
{
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
        if (n <= 0)
            return;
        done += size_t(n);
    }
}

} // namespace

HostileServer::HostileServer(Kind kind, int answered) : m_kind(kind), m_answered(answered)
{
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    // With a backlog of 0 the kernel queues one connection; two fillers make
    // sure later connection requests are dropped unanswered.
    const int backlog = kind == Unreachable ? 0 : 16;
    if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(m_listener, backlog) != 0 || ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("cannot open the hostile test server");
    m_port = ntohs(address.sin_port);
    if (kind == Unreachable) {
        for (int i = 0; i < 2; ++i) {
            int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
            ::connect(fd, reinterpret_cast<sockaddr*>(&address), length);
            m_fillers.push_back(fd);
        }
        // Let the fillers' handshakes complete before the test connects.
        ::usleep(100000);
        return;
    }
    m_thread = std::thread([this] { Serve(); });
}

HostileServer::~HostileServer()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    for (int fd : m_fillers)
        ::close(fd);
    ::close(m_listener);
}

void HostileServer::Serve()
{
    struct Client {
        int fd;
        int answered;
        std::string pending;
    };
    std::vector<Client> clients;
    while (!m_stop) {
        std::vector<pollfd> fds{{m_listener, POLLIN, 0}};
        for (const Client& c : clients)
            fds.push_back({c.fd, POLLIN, 0});
        if (::poll(fds.data(), fds.size(), PollStepMs) <= 0)
            continue;
        if (fds[0].revents & POLLIN) {
            int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) {
                clients.push_back({fd, 0, {}});
                if (m_kind == Deaf)
                    SendAll(fd, "220 Ready.\r\n");
            }
        }
        for (size_t i = 1; i < fds.size(); ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP)))
                continue;
            Client& c = clients[i - 1];
            char buffer[512];
            ssize_t n = ::recv(c.fd, buffer, sizeof buffer, 0);
            if (n <= 0) {
                ::close(c.fd); // the client has gone
                c.fd = -1;
                continue;
            }
            c.pending.append(buffer, size_t(n));
            for (size_t end; (end = c.pending.find('\n')) != std::string::npos;) {
                const std::string line = c.pending.substr(0, end);
                c.pending.erase(0, end + 1);
                if (m_kind == Deaf && c.answered < m_answered) {
                    SendAll(c.fd, ReplyFor(line));
                    ++c.answered;
                }
            }
        }
        std::erase_if(clients, [](const Client& c) { return c.fd < 0; });
    }
    for (const Client& c : clients)
        ::close(c.fd);
}
