// How soon a volume or mute change made by another program reaches the endpoint list: one
// connection to the sound server plays the other program and changes the volume of a source,
// a second (the window's) waits for the change to arrive as a queued signal. Prints the
// median and the slowest of the delays. Needs a running server (endpoint_latency.sh starts
// a private one).
//
//   endpoint_notify_bench SOURCE [ROUNDS]

#include "audio/pulse_endpoints.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

using mireldo::platform::audio::PulseEndpoints;
using mireldo::platform::audio::PulseSource;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: endpoint_notify_bench SOURCE [ROUNDS]\n");
        return 2;
    }
    const QString source = QString::fromLocal8Bit(argv[1]);
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 50;

    PulseEndpoints window;
    PulseEndpoints other;
    if (!window.start(3000) || !other.start(3000)) {
        std::fprintf(stderr, "endpoint_notify_bench: no sound server\n");
        return 1;
    }
    int arrived = 0;
    QObject::connect(&window, &PulseEndpoints::sourceChanged, &app, [&](const PulseSource& s) {
        if (s.name == source) {
            ++arrived;
        }
    });
    std::vector<double> delays;
    for (int i = 0; i < rounds; ++i) {
        const int before = arrived;
        QElapsedTimer timer;
        timer.start();
        if (!other.setVolume(source, 20 + (i % 2) * 30)) {
            std::fprintf(stderr, "endpoint_notify_bench: no source %s\n", argv[1]);
            return 1;
        }
        while (arrived == before && timer.elapsed() < 5000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        }
        if (arrived == before) {
            std::fprintf(stderr, "endpoint_notify_bench: round %d never arrived\n", i);
            return 1;
        }
        delays.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        QThread::msleep(10);
    }
    std::sort(delays.begin(), delays.end());
    std::printf("%d changes by another program reached the endpoint list: median %.2f ms, "
                "slowest %.2f ms\n",
                rounds, delays[delays.size() / 2], delays.back());
    return 0;
}
