#include "recorder_fakes.h"

#include <QElapsedTimer>
#include <QFile>
#include <QThread>

namespace rectest {

using namespace mireldo::platform::audio;
using mireldo::recorder::RecorderAnswer;

QCoreApplication& coreApp() {
    static int argc = 1;
    static char name[] = "test_recorder";
    static char* argv[] = {name, nullptr};
    static auto* app = new QCoreApplication(argc, argv);
    return *app;
}

bool pumpUntil(const std::function<bool()>& done, int timeoutMs) {
    coreApp();
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

RecorderAnswer FakeView::ask(const QString& text) {
    questions.push_back(text);
    if (answers.empty()) {
        return RecorderAnswer::Cancel;
    }
    const RecorderAnswer a = answers.front();
    answers.pop_front();
    return a;
}

DeviceError FakeDevice::addBuffer(WaveHeader* h) {
    if (refuseBuffers) {
        return DeviceError::Failed;
    }
    if ((h->flags & WHDR_PREPARED) == 0) {
        return DeviceError::Unprepared;
    }
    h->flags |= WHDR_INQUEUE;
    h->bytesRecorded = 0;
    queued.push_back(h);
    return DeviceError::None;
}

DeviceError FakeDevice::reset() {
    ++resets;
    for (WaveHeader* h : queued) {
        h->flags = (h->flags & ~WHDR_INQUEUE) | WHDR_DONE;
        handedBack.push_back(h);
    }
    queued.clear();
    return DeviceError::None;
}

DeviceError FakeDevice::close() {
    ++closes;
    return reset();
}

mireldo::recorder::CaptureSession::DeviceOpener DeviceFarm::opener() {
    return [this](int index, const PcmFormat& f, mireldo::platform::ReceiverHandle,
                  DeviceError* error) -> WaveInPtr {
        openedIndices.push_back(index);
        if (fail) {
            if (error != nullptr) {
                *error = DeviceError::NoDriver;
            }
            return nullptr;
        }
        devices.push_back(std::make_shared<FakeDevice>(f));
        return devices.back();
    };
}

void FakeFinalisation::save(mireldo::recorder::CaptureSession& session, bool automatic) {
    saves.push_back(automatic);
    if (saveSucceeds) {
        savedCopies.push_back(fileBytes(session.temporaryWavPath()));
        session.setSaved(true);
    }
}

void FakeFinalisation::saveFinished(mireldo::recorder::CaptureSession& session,
                                    mireldo::recorder::FinishedRecord record) {
    saves.push_back(true);
    if (!saveSucceeds) {
        session.keepFinished(std::move(record));
        return;
    }
    savedCopies.push_back(fileBytes(record.file.path()));
    record.file.remove();
}

std::vector<unsigned char> fileBytes(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QByteArray all = f.readAll();
    return {all.begin(), all.end()};
}

std::vector<unsigned char> square16(std::size_t count, int amplitude, int offset) {
    std::vector<unsigned char> out(count);
    for (std::size_t i = 0; i + 1 < count; i += 2) {
        const int v = offset + (((i / 2) / 8) % 2 == 0 ? amplitude : -amplitude);
        const auto s = static_cast<std::uint16_t>(static_cast<std::int16_t>(v));
        out[i] = static_cast<unsigned char>(s & 0xFF);
        out[i + 1] = static_cast<unsigned char>(s >> 8);
    }
    return out;
}

} // namespace rectest
