#include "playlist_test_util.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <chrono>
#include <filesystem>

namespace playlisttest {

bool pumpUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

std::vector<std::uint8_t> listHeader(std::uint32_t magic, std::uint32_t version,
                                     std::uint16_t count, std::uint16_t recordSize) {
    std::vector<std::uint8_t> out;
    testsupport::putU32(out, magic);
    testsupport::putU32(out, version);
    testsupport::putU16(out, count);
    testsupport::putU16(out, recordSize);
    return out;
}

void appendRecord(std::vector<std::uint8_t>& out, const std::string& path, std::uint16_t size,
                  std::uint32_t flags) {
    std::vector<std::uint8_t> record(size, 0);
    for (std::size_t i = 0; i < path.size() && i < record.size(); ++i) {
        record[i] = static_cast<std::uint8_t>(path[i]);
    }
    if (size >= 264) {
        for (int i = 0; i < 4; ++i) {
            record[260 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(flags >> (8 * i));
        }
    }
    out.insert(out.end(), record.begin(), record.end());
}

void writeWav(const std::string& path, std::uint32_t frames) {
    testsupport::writeFile(
        path, testsupport::makeWav(2, 44100, 16, testsupport::patternBytes(frames * 4u)));
}

int openDescriptorsOf(const std::string& path) {
    int n = 0;
    const auto wanted = std::filesystem::weakly_canonical(path);
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", ec)) {
        std::error_code linkError;
        const auto target = std::filesystem::read_symlink(entry.path(), linkError);
        if (!linkError && target == wanted) {
            ++n;
        }
    }
    return n;
}

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

mireldo::playlist::ItemLoader::Opener GatedOpener::opener() {
    return [this](SondrelStream** stream, const QString& path) {
        {
            std::unique_lock lock(mutex_);
            asked_.push_back(path);
            ++held_;
            cv_.notify_all();
            cv_.wait(lock, [this] { return !closed_; });
            --held_;
        }
        return mireldo::playlist::openWithSondrel(stream, path);
    };
}

void GatedOpener::close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
}

void GatedOpener::open() {
    {
        std::lock_guard lock(mutex_);
        closed_ = false;
    }
    cv_.notify_all();
}

bool GatedOpener::waitUntilHeld(int timeoutMs) {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return held_ > 0; });
}

std::vector<QString> GatedOpener::asked() {
    std::lock_guard lock(mutex_);
    return asked_;
}

} // namespace playlisttest
