// Checks that the records of a run, in the order given, hold an unbroken stretch of the
// virtual input's free-running tone: for every record it finds where in the tone it starts
// and prints the frames missing (or repeated) before it. Used by gapless_run.sh.
//
//   gapless_check <rate> <tone Hz> <record.wav>...
//
// 16-bit mono records. The tone is computed as the virtual input computes it (frame k is
// 0.5 * sin(k * 2 pi f / rate), rounded at 32767), so it matches exactly. A record is placed
// at the nearest frame to where the one before it ended that matches for a few thousand
// frames (the tone comes near to repeating itself often, but only far away).

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

namespace {

std::int16_t toneAt(std::uint64_t k, double step) {
    const double value =
        0.5 * std::sin(std::fmod(static_cast<double>(k) * step, 2.0 * std::numbers::pi));
    return static_cast<std::int16_t>(std::lround(value * 32767.0));
}

std::vector<std::int16_t> readPcm(const char* path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
    std::vector<std::int16_t> out;
    for (std::size_t i = 44; i + 1 < bytes.size(); i += 2) {
        out.push_back(static_cast<std::int16_t>(static_cast<unsigned char>(bytes[i]) |
                                                static_cast<unsigned char>(bytes[i + 1]) << 8));
    }
    return out;
}

bool matchesAt(const std::vector<std::int16_t>& s, std::size_t from, std::size_t count,
               std::uint64_t k, double step) {
    for (std::size_t i = 0; i < count && from + i < s.size(); ++i) {
        if (s[from + i] != toneAt(k + i, step)) {
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: gapless_check <rate> <tone Hz> <record.wav>...\n");
        return 2;
    }
    const double rate = std::atof(argv[1]);
    const double step = 2.0 * std::numbers::pi * std::atof(argv[2]) / rate;
    constexpr std::size_t kProbe = 4096;        // frames compared to place a record
    constexpr std::uint64_t kSearch = 40000000; // frames searched past the expected start
    std::uint64_t expected = 0;
    bool first = true; // the first record is placed relative to frame 0
    long long lost = 0;
    std::uint64_t frames = 0;
    std::uint64_t badFrames = 0;
    int records = 0;
    for (int a = 3; a < argc; ++a) {
        const std::vector<std::int16_t> s = readPcm(argv[a]);
        if (s.empty()) {
            continue;
        }
        ++records;
        // Where in the tone the record starts: the matching frame nearest to the expected
        // one, after it (frames lost) or before it (frames repeated).
        std::uint64_t start = expected;
        bool found = matchesAt(s, 0, kProbe, start, step);
        for (std::uint64_t d = 1; !found && d < kSearch; ++d) {
            if (matchesAt(s, 0, kProbe, expected + d, step)) {
                start = expected + d;
                found = true;
            } else if (d <= expected && matchesAt(s, 0, kProbe, expected - d, step)) {
                start = expected - d;
                found = true;
            }
        }
        if (!found) {
            std::printf("%s: not the tone\n", argv[a]);
            return 1;
        }
        if (!first && start != expected) {
            const long long gap = static_cast<long long>(start) - static_cast<long long>(expected);
            std::printf("record %d: %lld frames %s before it\n", records, gap > 0 ? gap : -gap,
                        gap > 0 ? "missing" : "repeated");
            lost += gap;
        }
        first = false;
        for (std::size_t i = 0; i < s.size(); ++i) {
            if (s[i] != toneAt(start + i, step)) {
                ++badFrames;
            }
        }
        frames += s.size();
        expected = start + s.size();
    }
    std::printf("records %d, frames %llu (%.1f s), frames lost at splits %lld, frames not "
                "the tone %llu\n",
                records, static_cast<unsigned long long>(frames),
                static_cast<double>(frames) / rate, lost,
                static_cast<unsigned long long>(badFrames));
    return lost == 0 && badFrames == 0 ? 0 : 1;
}
