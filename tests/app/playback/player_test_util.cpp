#include "player_test_util.h"

#include <QDeadlineTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace playertest {

QCoreApplication& coreApp() {
    static int argc = 1;
    static char name[] = "test_playback";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = QCoreApplication::instance() != nullptr
                                       ? QCoreApplication::instance()
                                       : new QCoreApplication(argc, argv);
    return *app;
}

bool pumpUntil(const std::function<bool()>& done, int timeoutMs) {
    coreApp();
    const QDeadlineTimer deadline(timeoutMs);
    while (!done() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return done();
}

void pumpFor(int ms) {
    pumpUntil([] { return false; }, ms);
}

ReportLog::ReportLog() {
    onMessage(kMessage, [this](std::uintptr_t w, std::intptr_t l) {
        reports.push_back({static_cast<std::uint32_t>(w), l != 0});
    });
}

int ReportLog::ends() const {
    int n = 0;
    for (const auto& r : reports) {
        n += r.end ? 1 : 0;
    }
    return n;
}

ScopedEnv::ScopedEnv(const char* name, const std::string& value) : name_(name) {
    const char* old = std::getenv(name);
    had_ = old != nullptr;
    old_ = had_ ? old : "";
    setenv(name, value.c_str(), 1);
}

ScopedEnv::~ScopedEnv() {
    if (had_) {
        setenv(name_.c_str(), old_.c_str(), 1);
    } else {
        unsetenv(name_.c_str());
    }
}

Stream::Stream(const std::string& path) {
    const int32_t code = Sondrel_OpenStream(&handle_, path.c_str(), 1, 2);
    EXPECT_EQ(code, SONDREL_OK) << path;
    if (code != SONDREL_OK) {
        handle_ = nullptr;
        return;
    }
    Sondrel_GetStreamFormat(handle_, &format_);
    Sondrel_GetStreamLength(handle_, &length_);
}

Stream::~Stream() {
    if (handle_ != nullptr) {
        Sondrel_CloseStream(handle_);
    }
}

std::vector<std::uint8_t> wavPayload(const std::string& path) {
    std::vector<std::uint8_t> bytes = testsupport::readFile(path);
    EXPECT_GE(bytes.size(), 44u) << path;
    if (bytes.size() < 44) {
        return {};
    }
    EXPECT_EQ(0, std::memcmp(bytes.data(), "RIFF", 4));
    EXPECT_EQ(0, std::memcmp(bytes.data() + 36, "data", 4));
    const std::uint32_t size =
        bytes[40] | bytes[41] << 8 | bytes[42] << 16 | static_cast<std::uint32_t>(bytes[43]) << 24;
    EXPECT_EQ(size, bytes.size() - 44) << "data size in the header";
    return {bytes.begin() + 44, bytes.end()};
}

std::vector<std::uint8_t> testPcm(std::uint32_t frames, std::uint16_t channels, std::uint16_t bits,
                                  std::uint32_t seed) {
    return testsupport::patternBytes(std::size_t{frames} * channels * bits / 8, seed);
}

} // namespace playertest
