// Time of a save by copy of a 1-hour record (48 kHz stereo 16-bit, 691 MB) against `cp` of the
// same file, with the page cache warm.
//
// Ours is the whole save path of a WAV record: the temporary ".part" file beside the target,
// the copy, the fsync that puts the bytes on disk before the rename, the rename. `cp` does the
// copy only; its bytes may still be in the page cache when it returns. For comparison the
// output also times `cp` followed by an fdatasync of its copy (`sync -d`), which is the same
// work as ours, and times our copy alone (the ".part" file written, before its fsync and
// rename), which is the work of `cp`.
//
// Every run writes a new file (the previous run's output is removed first) and starts after a
// `sync`, outside the timing, so that one run's dirty pages do not slow the next. Runs of ours
// and of the peers are interleaved; the medians are printed.
//
// usage: save_copy_bench [FOLDER] [RUNS]   (FOLDER defaults to the system's temporary folder,
//                                            RUNS to 5)
// The last line is machine-readable, seconds and ratios to ours:
// "<ours>\t<cp>\t<ratio>\t<cp + sync -d>\t<ratio>\t<our copy alone>\t<its ratio to cp>".
#include "encoding_pipeline.h"
#include "file_system.h"

#include <QDir>
#include <QString>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

double seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

bool writeRecord(const std::string& path, std::uint64_t bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        return false;
    }
    std::vector<unsigned char> block(1 << 20);
    std::uint32_t x = 12345;
    for (auto& b : block) {
        x = x * 1103515245u + 12345u;
        b = static_cast<unsigned char>(x >> 16);
    }
    bool ok = true;
    for (std::uint64_t done = 0; ok && done < bytes; done += block.size()) {
        const std::size_t n =
            static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), bytes - done));
        ok = ::write(fd, block.data(), n) == static_cast<ssize_t>(n);
    }
    return ::close(fd) == 0 && ok;
}

// Removes `path` and waits until every dirty page of the machine is written, untimed.
void settle(const std::string& path) {
    ::unlink(path.c_str());
    ::sync();
}

// Wall time of the shell command `command`; negative when it fails.
double timeCommand(const std::string& command) {
    const auto start = std::chrono::steady_clock::now();
    const int rc = std::system(command.c_str());
    const double t = seconds(std::chrono::steady_clock::now() - start);
    return rc == 0 ? t : -1;
}

} // namespace

int main(int argc, char* argv[]) {
    const std::string folder = argc > 1 ? argv[1] : QDir::tempPath().toStdString();
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    const std::uint64_t bytes = 44 + std::uint64_t{48000} * 4 * 3600;
    const std::string record = folder + "/save-copy-bench-record.wav";
    const std::string ours = folder + "/save-copy-bench-ours.wav";
    const std::string theirs = folder + "/save-copy-bench-cp.wav";
    if (!writeRecord(record, bytes)) {
        std::fprintf(stderr, "cannot write %s\n", record.c_str());
        return 1;
    }
    const std::string cp = "cp " + record + " " + theirs;
    const std::string cpSync = cp + " && sync -d " + theirs;
    // Warm the page cache with the record, and the loader's caches with both programs.
    if (timeCommand(cp) < 0 || !mireldo::encoders::copyFileOver(QString::fromStdString(record),
                                                                QString::fromStdString(ours))) {
        std::fprintf(stderr, "warm-up copy failed\n");
        return 1;
    }

    std::vector<double> oursTimes;
    std::vector<double> cpTimes;
    std::vector<double> cpSyncTimes;
    std::vector<double> copyTimes;
    for (int i = 0; i < runs; ++i) {
        settle(ours);
        const auto start = std::chrono::steady_clock::now();
        if (!mireldo::encoders::copyFileOver(QString::fromStdString(record),
                                             QString::fromStdString(ours))) {
            std::fprintf(stderr, "copy failed\n");
            return 1;
        }
        oursTimes.push_back(seconds(std::chrono::steady_clock::now() - start));
        settle(theirs);
        cpTimes.push_back(timeCommand(cp));
        settle(theirs);
        cpSyncTimes.push_back(timeCommand(cpSync));
        settle(ours);
        {
            auto part = mireldo::platform::PendingFile::create(QString::fromStdString(ours));
            const auto copyStart = std::chrono::steady_clock::now();
            if (!part ||
                !mireldo::encoders::copyInto(QString::fromStdString(record), part.value())) {
                std::fprintf(stderr, "copy failed\n");
                return 1;
            }
            copyTimes.push_back(seconds(std::chrono::steady_clock::now() - copyStart));
        } // the .part file goes
        if (cpTimes.back() < 0 || cpSyncTimes.back() < 0) {
            std::fprintf(stderr, "cp failed\n");
            return 1;
        }
    }
    const double o = median(oursTimes);
    const double c = median(cpTimes);
    const double cs = median(cpSyncTimes);
    const double co = median(copyTimes);
    std::fprintf(stderr,
                 "save by copy of a 1-hour record (%llu bytes), medians of %d:\n"
                 "  ours (with fsync) %.3f s   cp %.3f s (%.2fx)   cp + sync -d %.3f s (%.2fx)\n"
                 "  our copy alone (no fsync, no rename) %.3f s (%.2fx of cp)\n",
                 static_cast<unsigned long long>(bytes), runs, o, c, o / c, cs, o / cs, co, co / c);
    std::printf("%.4f\t%.4f\t%.3f\t%.4f\t%.3f\t%.4f\t%.3f\n", o, c, o / c, cs, o / cs, co, co / c);
    ::unlink(record.c_str());
    ::unlink(ours.c_str());
    ::unlink(theirs.c_str());
    return 0;
}
