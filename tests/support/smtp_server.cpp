#include "smtp_server.h"

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {
namespace {

/// How long the server may take to print its port.
constexpr int kStartTimeoutMs = 20000;
/// Seconds after which the server ends by itself, should a test never end it.
constexpr const char* kLifetimeSeconds = "120";

} // namespace

TestCertificates makeTestCertificates(const TempDir& dir) {
    const std::string ca = dir.file("ca.pem");
    const std::string caKey = dir.file("ca.key");
    const std::string cert = dir.file("server.pem");
    const std::string key = dir.file("server.key");
    const std::string csr = dir.file("server.csr");
    const std::string ext = dir.file("server.ext");
    {
        std::ofstream e(ext);
        e << "subjectAltName=IP:127.0.0.1,DNS:localhost\n";
    }
    const std::string openssl = shellQuote(MIRELDO_OPENSSL_EXE);
    const std::string ec = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes ";
    const std::string commands =
        openssl + " req -x509" + ec + "-keyout " + shellQuote(caKey) + " -out " + shellQuote(ca) +
        " -days 2 -subj '/CN=Mireldo Test CA' && " + openssl + " req" + ec + "-keyout " +
        shellQuote(key) + " -out " + shellQuote(csr) + " -subj '/CN=localhost' && " + openssl +
        " x509 -req -in " + shellQuote(csr) + " -CA " + shellQuote(ca) + " -CAkey " +
        shellQuote(caKey) + " -CAcreateserial -out " + shellQuote(cert) + " -days 2 -extfile " +
        shellQuote(ext);
    const auto r = runCommand("(" + commands + ") >/dev/null 2>&1");
    if (r.exitCode != 0) {
        return {};
    }
    return {ca, cert, key};
}

SmtpServer::SmtpServer(const TempDir& dir, const Options& options) {
    static int serial = 0;
    out_ = dir.file("smtp" + std::to_string(++serial));
    std::filesystem::create_directories(out_);
    std::vector<std::string> args = {
        MIRELDO_SMTP_PYTHON_EXE, MIRELDO_SMTP_SERVER_PY, "--out",         out_, "--security",
        options.security,        "--lifetime",           kLifetimeSeconds};
    if (!options.user.empty()) {
        args.insert(args.end(), {"--user", options.user, "--password", options.password});
    }
    if (options.security != "none") {
        args.insert(args.end(), {"--cert", options.certificates.certFile, "--key",
                                 options.certificates.keyFile});
    }
    if (options.sizeLimit != 0) {
        args.insert(args.end(), {"--size-limit", std::to_string(options.sizeLimit)});
    }
    int fds[2];
    if (::pipe(fds) != 0) {
        return;
    }
    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(fds[1], STDOUT_FILENO);
        ::close(fds[0]);
        ::close(fds[1]);
        std::vector<char*> argv;
        for (auto& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(fds[1]);
    std::string line;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
    while (pid_ > 0 && line.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) {
            break;
        }
        pollfd p{fds[0], POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left)) <= 0) {
            break;
        }
        char c[64];
        const ssize_t n = ::read(fds[0], c, sizeof c);
        if (n <= 0) {
            break;
        }
        line.append(c, static_cast<size_t>(n));
    }
    ::close(fds[0]);
    if (line.find('\n') != std::string::npos) {
        port_ = std::stoi(line);
    }
}

SmtpServer::~SmtpServer() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
}

std::vector<SmtpServer::Summary> SmtpServer::messages() const {
    std::vector<Summary> all;
    for (int n = 1;; ++n) {
        std::ifstream in(out_ + "/msg" + std::to_string(n) + ".txt");
        if (!in) {
            break;
        }
        Summary s;
        std::string line;
        while (std::getline(in, line)) {
            const size_t space = line.find(' ');
            s.emplace(line.substr(0, space),
                      space == std::string::npos ? std::string() : line.substr(space + 1));
        }
        all.push_back(std::move(s));
    }
    return all;
}

ClosedPort::ClosedPort() {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) == 0) {
        port_ = ntohs(addr.sin_port);
    }
}

ClosedPort::~ClosedPort() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

std::string fromHex(const std::string& hex) {
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
    return out;
}

} // namespace testsupport
