#include "player_test_util.h"

#include <QDeadlineTimer>
#include <QThread>

#include <gtest/gtest.h>

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

} // namespace playertest
