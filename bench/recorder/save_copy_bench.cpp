// Time of a save by copy of a 1-hour record (48 kHz stereo 16-bit, 691 MB) against cp of the same
// file, best of several runs each, with the page cache warm. Prints both and the ratio.
// usage: save_copy_bench [FOLDER] [RUNS]   (FOLDER defaults to the system's temporary folder)
#include "encoding_pipeline.h"

#include <QDir>
#include <QString>

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
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), bytes - done));
        ok = ::write(fd, block.data(), n) == static_cast<ssize_t>(n);
    }
    return ::close(fd) == 0 && ok;
}

} // namespace

int main(int argc, char* argv[]) {
    const std::string folder = argc > 1 ? argv[1] : QDir::tempPath().toStdString();
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    const std::uint64_t bytes = 44 + std::uint64_t{48000} * 4 * 3600;
    const std::string record = folder + "/save-copy-bench-record.wav";
    const std::string ours = folder + "/save-copy-bench-ours.wav";
    const std::string theirs = folder + "/save-copy-bench-cp.wav";
    if (!writeRecord(record, bytes)) {
        std::fprintf(stderr, "cannot write %s\n", record.c_str());
        return 1;
    }
    const std::string cp = "cp " + record + " " + theirs;
    std::system(cp.c_str()); // warm the page cache

    double bestOurs = 1e9;
    double bestCp = 1e9;
    for (int i = 0; i < runs; ++i) {
        auto start = std::chrono::steady_clock::now();
        if (!mireldo::encoders::copyFileOver(QString::fromStdString(record), QString::fromStdString(ours))) {
            std::fprintf(stderr, "copy failed\n");
            return 1;
        }
        bestOurs = std::min(bestOurs, seconds(std::chrono::steady_clock::now() - start));
        start = std::chrono::steady_clock::now();
        if (std::system(cp.c_str()) != 0) {
            std::fprintf(stderr, "cp failed\n");
            return 1;
        }
        bestCp = std::min(bestCp, seconds(std::chrono::steady_clock::now() - start));
    }
    std::printf("save by copy of a 1-hour record (%llu bytes), best of %d:\n",
                static_cast<unsigned long long>(bytes), runs);
    std::printf("  ours %.3f s   cp %.3f s   ratio %.2fx\n", bestOurs, bestCp, bestOurs / bestCp);
    ::unlink(record.c_str());
    ::unlink(ours.c_str());
    ::unlink(theirs.c_str());
    return 0;
}
