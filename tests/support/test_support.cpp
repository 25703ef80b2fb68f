#include "test_support.h"

#include "wav_header.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <sys/wait.h>

namespace testsupport {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "mireldo-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

std::string TempDir::file(const std::string& name) const {
    return (path_ / name).string();
}

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
}

std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path);
    }
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void putU16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v & 0xFF));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void putU32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<uint8_t>((v >> (8 * i)) & 0xFF));
    }
}

void putBytes(std::vector<uint8_t>& out, const char* text) {
    while (*text != '\0') {
        out.push_back(static_cast<uint8_t>(*text++));
    }
}

std::vector<uint8_t> wavHeader(uint16_t formatTag, uint16_t channels, uint32_t rate, uint16_t bits,
                               uint32_t dataBytes) {
    mireldo::common::WavFormat format;
    format.formatTag = formatTag;
    format.channels = channels;
    format.sampleRate = rate;
    format.blockAlign = static_cast<uint16_t>(channels * bits / 8);
    format.bitsPerSample = bits;
    const auto h = mireldo::common::makeWavHeader(format, dataBytes);
    return {h.begin(), h.end()};
}

std::vector<uint8_t> makeWav(uint16_t channels, uint32_t rate, uint16_t bits,
                             const std::vector<uint8_t>& pcm) {
    auto bytes = wavHeader(1, channels, rate, bits, static_cast<uint32_t>(pcm.size()));
    bytes.insert(bytes.end(), pcm.begin(), pcm.end());
    return bytes;
}

std::vector<uint8_t> patternBytes(size_t count, uint32_t seed) {
    std::vector<uint8_t> out(count);
    uint32_t x = seed * 2654435761u + 12345u;
    for (auto& b : out) {
        x = x * 1103515245u + 12345u;
        b = static_cast<uint8_t>(x >> 16);
    }
    return out;
}

CommandResult runCommand(const std::string& command) {
    CommandResult result;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return result;
    }
    std::array<char, 4096> chunk{};
    size_t got = 0;
    while ((got = fread(chunk.data(), 1, chunk.size(), pipe)) > 0) {
        result.output.append(chunk.data(), got);
    }
    const int status = pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::vector<uint8_t> wavPayload(const std::string& path) {
    std::vector<uint8_t> bytes = readFile(path);
    EXPECT_GE(bytes.size(), 44u) << path;
    if (bytes.size() < 44) {
        return {};
    }
    EXPECT_EQ(0, std::memcmp(bytes.data(), "RIFF", 4));
    EXPECT_EQ(0, std::memcmp(bytes.data() + 36, "data", 4));
    const uint32_t size =
        bytes[40] | bytes[41] << 8 | bytes[42] << 16 | static_cast<uint32_t>(bytes[43]) << 24;
    EXPECT_EQ(size, bytes.size() - 44) << "data size in the header";
    return {bytes.begin() + 44, bytes.end()};
}

std::vector<uint8_t> testPcm(uint32_t frames, uint16_t channels, uint16_t bits, uint32_t seed) {
    return patternBytes(size_t{frames} * channels * bits / 8, seed);
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

std::string shellQuote(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') {
            out += "'\\''";
        } else {
            out += c;
        }
    }
    out += "'";
    return out;
}

} // namespace testsupport
