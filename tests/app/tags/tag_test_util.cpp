#include "tag_test_util.h"

#include "test_support.h"

#include <map>
#include <stdexcept>

namespace tagtest {

Bytes frame(int major, const std::string& id, const Bytes& content, std::uint16_t flags) {
    Bytes out(id.begin(), id.end());
    const auto n = static_cast<std::uint32_t>(content.size());
    if (major == 2) {
        out.insert(out.end(), {static_cast<std::uint8_t>(n >> 16),
                               static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n)});
    } else if (major == 3) {
        out.insert(out.end(),
                   {static_cast<std::uint8_t>(n >> 24), static_cast<std::uint8_t>(n >> 16),
                    static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n)});
    } else {
        out.insert(out.end(), {static_cast<std::uint8_t>((n >> 21) & 0x7F),
                               static_cast<std::uint8_t>((n >> 14) & 0x7F),
                               static_cast<std::uint8_t>((n >> 7) & 0x7F),
                               static_cast<std::uint8_t>(n & 0x7F)});
    }
    if (major != 2) {
        out.push_back(static_cast<std::uint8_t>(flags >> 8));
        out.push_back(static_cast<std::uint8_t>(flags));
    }
    out.insert(out.end(), content.begin(), content.end());
    return out;
}

Bytes latin1Text(const std::string& text) {
    Bytes out(text.size() + 1, 0);
    std::copy(text.begin(), text.end(), out.begin() + 1);
    return out;
}

Bytes tag(int major, const std::vector<Bytes>& frames, std::size_t padding, std::uint8_t flags) {
    Bytes body;
    for (const Bytes& f : frames) {
        body.insert(body.end(), f.begin(), f.end());
    }
    body.resize(body.size() + padding, 0);
    const auto n = static_cast<std::uint32_t>(body.size());
    Bytes out(10 + body.size(), 0);
    const std::uint8_t header[10] = {'I',
                                     'D',
                                     '3',
                                     static_cast<std::uint8_t>(major),
                                     0,
                                     flags,
                                     static_cast<std::uint8_t>((n >> 21) & 0x7F),
                                     static_cast<std::uint8_t>((n >> 14) & 0x7F),
                                     static_cast<std::uint8_t>((n >> 7) & 0x7F),
                                     static_cast<std::uint8_t>(n & 0x7F)};
    std::copy(header, header + 10, out.begin());
    std::copy(body.begin(), body.end(), out.begin() + 10);
    return out;
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const Bytes& mp3Audio(double seconds) {
    static std::map<double, Bytes> made;
    auto it = made.find(seconds);
    if (it != made.end()) {
        return it->second;
    }
    testsupport::TempDir dir;
    const std::string wav = dir.file("s.wav");
    const std::string mp3 = dir.file("s.mp3");
    const auto r = testsupport::runCommand(
        std::string(MIRELDO_SOX_EXE) + " -n -r 44100 -c 2 -b 16 " + testsupport::shellQuote(wav) +
        " synth " + std::to_string(seconds) + " sine 440 && " + MIRELDO_LAME_EXE +
        " --quiet -b 128 --noreplaygain -t " + testsupport::shellQuote(wav) + " " +
        testsupport::shellQuote(mp3));
    if (r.exitCode != 0) {
        throw std::runtime_error("sox or lame failed");
    }
    return made.emplace(seconds, testsupport::readFile(mp3)).first->second;
}

std::string describe(const mireldo::tags::TagFields& f) {
    return (f.title + QStringLiteral(" | ") + f.artist + QStringLiteral(" | ") + f.album +
            QStringLiteral(" | ") + f.year + QStringLiteral(" | ") + f.comment +
            QStringLiteral(" | %1 | ").arg(f.track) + f.genreText +
            QStringLiteral(" | %1").arg(f.genrePosition))
        .toStdString();
}

} // namespace tagtest
