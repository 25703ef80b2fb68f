#pragma once

// An SMTP server on 127.0.0.1 for the mail tests (smtp_server.py over python3-aiosmtpd), on a
// port the system picks, ended when the object goes away and in any case after two minutes.
// What it receives is summarised in files of its folder; see smtp_server.py.

#include "test_support.h"

#include <map>
#include <string>
#include <vector>

#include <sys/types.h>

namespace testsupport {

/// A test certificate authority and a server certificate it signed for 127.0.0.1 and
/// localhost, made with openssl in `dir`.
struct TestCertificates {
    std::string caFile;
    std::string certFile;
    std::string keyFile;
};
/// Makes the certificates; empty paths when openssl failed.
TestCertificates makeTestCertificates(const TempDir& dir);

class SmtpServer {
  public:
    struct Options {
        std::string user; ///< empty: no log-in offered or required
        std::string password;
        std::string security = "none"; ///< none, starttls (required) or tls (from the first byte)
        TestCertificates certificates;
        unsigned long long sizeLimit = 0; ///< announced SIZE; 0: none
    };

    /// Starts the server; its summaries go to `dir`/<subfolder>.
    SmtpServer(const TempDir& dir, const Options& options);
    ~SmtpServer();
    SmtpServer(const SmtpServer&) = delete;
    SmtpServer& operator=(const SmtpServer&) = delete;

    /// The port it listens on; 0 when it did not start.
    int port() const { return port_; }

    /// One accepted message: each summary line's value under its key, in order.
    using Summary = std::multimap<std::string, std::string>;
    /// Summaries of the messages accepted so far, in order.
    std::vector<Summary> messages() const;

  private:
    std::string out_;
    pid_t pid_ = -1;
    int port_ = 0;
};

/// A port on 127.0.0.1 where nothing listens while the object lives (bound, never listening).
class ClosedPort {
  public:
    ClosedPort();
    ~ClosedPort();
    ClosedPort(const ClosedPort&) = delete;
    ClosedPort& operator=(const ClosedPort&) = delete;
    int port() const { return port_; }

  private:
    int fd_ = -1;
    int port_ = 0;
};

/// `hex` (two digits a byte) as bytes.
std::string fromHex(const std::string& hex);

} // namespace testsupport
