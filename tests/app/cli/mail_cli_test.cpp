// mireldo-cli mail, run as a program against an SMTP server on loopback: what arrives, the
// messages and exit statuses of the failures, stored accounts and the password from ~/.netrc.

#include "smtp_server.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <string>

using namespace testsupport;

namespace {

class MailCli : public ::testing::Test {
  protected:
    /// Runs mireldo-cli with its own settings folder and home; standard output and error.
    CommandResult cli(const std::string& args) {
        return runCommand("HOME=" + shellQuote(dir_.path().string()) + " MIRELDO_CONFIG_DIR=" +
                          shellQuote(dir_.file("config")) + " MIRELDO_AUDIO_MODE=virtual " +
                          shellQuote(binDir() + "/mireldo-cli") + " mail " + args + " 2>&1");
    }
    std::string file(const std::string& name, size_t bytes, uint32_t seed) {
        const std::string path = dir_.file(name);
        writeFile(path, patternBytes(bytes, seed));
        return path;
    }
    static std::string sha256Of(const std::string& path) {
        return runCommand("sha256sum " + shellQuote(path)).output.substr(0, 64);
    }
    static std::string hexOf(const std::string& text) {
        static constexpr char kHex[] = "0123456789abcdef";
        std::string out;
        for (unsigned char c : text) {
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
        return out;
    }
    static std::vector<std::string> values(const SmtpServer::Summary& s, const std::string& key) {
        std::vector<std::string> out;
        auto [first, last] = s.equal_range(key);
        for (auto it = first; it != last; ++it) {
            out.push_back(it->second);
        }
        return out;
    }
    static std::string smtp(int port) { return "smtp://127.0.0.1:" + std::to_string(port); }

    TempDir dir_;
};

TEST_F(MailCli, SendsTheFilesToTheSplitRecipients) {
    SmtpServer server(dir_, {});
    ASSERT_NE(server.port(), 0);
    const std::string a = file("a.wav", 1000, 1);
    const std::string b = file("b c.mp3", 4097, 2);
    const auto r = cli("--smtp " + smtp(server.port()) +
                       " --from rec@studio.test --to 'ann@example.test; ;bob@example.test;'"
                       " --subject 'Takes' --body 'Two takes' " +
                       shellQuote(a) + " " + shellQuote(b));
    EXPECT_EQ(r.exitCode, 0) << r.output;
    const auto got = server.messages();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(values(got[0], "FROM"), std::vector<std::string>{"rec@studio.test"});
    EXPECT_EQ(values(got[0], "RCPT"),
              (std::vector<std::string>{"ann@example.test", "bob@example.test"}));
    EXPECT_EQ(values(got[0], "SUBJECT"), std::vector<std::string>{hexOf("Takes")});
    EXPECT_EQ(values(got[0], "BODY"), std::vector<std::string>{hexOf("Two takes")});
    EXPECT_EQ(values(got[0], "ATTACH"),
              (std::vector<std::string>{hexOf("a.wav") + " 1000 " + sha256Of(a),
                                        hexOf("b c.mp3") + " 4097 " + sha256Of(b)}));
}

TEST_F(MailCli, FailuresPrintTheMessageForTheCodeAndExitWith1) {
    SmtpServer server(dir_, {});
    ASSERT_NE(server.port(), 0);
    ClosedPort closed;
    const std::string a = file("a.wav", 100, 1);
    struct Case {
        std::string args;
        std::string message;
    };
    for (const Case& c :
         {Case{"--smtp " + smtp(server.port()) +
                   " --from rec@studio.test --to reject@example.test " + shellQuote(a),
               "Error: Unknown Recipient!"},
          Case{"--smtp " + smtp(server.port()) + " --from rec@studio.test --to ann@example.test " +
                   shellQuote(dir_.file("missing.wav")),
               "Error: Attachment file not found!"},
          Case{"--smtp " + smtp(closed.port()) + " --from rec@studio.test --to ann@example.test " +
                   shellQuote(a),
               "Error: Login failure!"}}) {
        const auto r = cli(c.args);
        EXPECT_EQ(r.exitCode, 1) << c.args;
        EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
    }
    EXPECT_TRUE(server.messages().empty());
}

TEST_F(MailCli, WrongUsageExitsWith2) {
    const std::string a = file("a.wav", 100, 1);
    for (const std::string& args : std::vector<std::string>{
             "--to ann@example.test " + shellQuote(a),
             "--smtp smtp://127.0.0.1:1 --account Studio --to ann@example.test",
             "--smtp smtp://127.0.0.1:1 --from rec@studio.test --to ' ; ' " + shellQuote(a),
             "--smtp smtp://127.0.0.1:1 --to ann@example.test " + shellQuote(a),
             "--smtp http://127.0.0.1:1 --from rec@studio.test --to ann@example.test",
             "--smtp smtp://127.0.0.1:1 --password secret --to ann@example.test",
             "--smtp smtp://127.0.0.1:1 --to"}) {
        EXPECT_EQ(cli(args).exitCode, 2) << args;
    }
    EXPECT_NE(cli("--smtp smtp://127.0.0.1:1 --from a@b.test --to ' ; '")
                  .output.find("Error: No recipient was designated!"),
              std::string::npos);
}

TEST_F(MailCli, AStoredAccountLogsInWithThePasswordOfAPrivateNetrc) {
    SmtpServer server(dir_, {.user = "rec@studio.test", .password = "pa ss"});
    ASSERT_NE(server.port(), 0);
    std::filesystem::create_directories(dir_.file("config") + "/Tarnwick");
    {
        std::ofstream conf(dir_.file("config") + "/Tarnwick/Mireldo.conf");
        conf << "[MailAccounts]\n"
                "Account1\\Name=Home\nAccount1\\Server=127.0.0.1\nAccount1\\Port=1\n"
                "Account2\\Name=  Studio  \nAccount2\\Server=127.0.0.1\nAccount2\\Port="
             << server.port()
             << "\nAccount2\\Security=none\nAccount2\\User=rec@studio.test\n"
                "Account2\\From=rec@studio.test\n";
    }
    const std::string netrc = dir_.file(".netrc");
    {
        std::ofstream f(netrc);
        f << "machine 127.0.0.1 login rec@studio.test password \"pa ss\"\n";
    }
    ::chmod(netrc.c_str(), 0600);
    const std::string a = file("a.wav", 100, 1);
    const auto r = cli("--account studio --to ann@example.test " + shellQuote(a));
    EXPECT_EQ(r.exitCode, 0) << r.output;
    ASSERT_EQ(server.messages().size(), 1u);
    EXPECT_EQ(values(server.messages()[0], "AUTH"), std::vector<std::string>{"rec@studio.test"});

    // A netrc others may read is not used: the log-in fails.
    ::chmod(netrc.c_str(), 0644);
    const auto refused = cli("--account Studio --to ann@example.test " + shellQuote(a));
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.output.find("Error: Login failure!"), std::string::npos) << refused.output;

    const auto unknown = cli("--account Office --to ann@example.test " + shellQuote(a));
    EXPECT_EQ(unknown.exitCode, 1) << unknown.output;
}

TEST_F(MailCli, AnAddressAsksForStartTlsOrTlsAndTrustsTheGivenCertificateFile) {
    const TestCertificates certs = makeTestCertificates(dir_);
    ASSERT_FALSE(certs.caFile.empty()) << "openssl could not make the test certificates";
    const std::string netrc = dir_.file(".netrc");
    {
        std::ofstream f(netrc);
        f << "machine 127.0.0.1 login rec password secret\n";
    }
    ::chmod(netrc.c_str(), 0600);
    const std::string a = file("a.wav", 3000, 4);
    for (const std::string security : {"starttls", "tls"}) {
        SmtpServer::Options options;
        options.user = "rec";
        options.password = "secret";
        options.security = security;
        options.certificates = certs;
        SmtpServer server(dir_, options);
        ASSERT_NE(server.port(), 0);
        const std::string base = std::string(security == "tls" ? "smtps" : "smtp") +
                                 "://rec@127.0.0.1:" + std::to_string(server.port());
        const std::string query = security == "tls" ? "?" : "?starttls=1&";
        // Without the test CA the server's certificate is not trusted: a log-on failure.
        auto r = cli("--smtp '" + base + (security == "tls" ? "" : "?starttls=1") +
                     "' --from rec@studio.test --to ann@example.test " + shellQuote(a));
        EXPECT_EQ(r.exitCode, 1) << security << ": " << r.output;
        EXPECT_NE(r.output.find("Error: Login failure!"), std::string::npos) << r.output;
        r = cli("--smtp '" + base + query + "cafile=" + certs.caFile +
                "' --from rec@studio.test --to ann@example.test " + shellQuote(a));
        EXPECT_EQ(r.exitCode, 0) << security << ": " << r.output;
        ASSERT_EQ(server.messages().size(), 1u) << security;
        EXPECT_EQ(values(server.messages()[0], "AUTH"), std::vector<std::string>{"rec"});
        EXPECT_EQ(values(server.messages()[0], "ATTACH"),
                  std::vector<std::string>{hexOf("a.wav") + " 3000 " + sha256Of(a)});
    }
}

} // namespace
