#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

/// A fresh folder under the system's temporary folder, removed with everything in it on
/// destruction.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    /// path() / name, as a string.
    std::string file(const std::string& name) const;

  private:
    std::filesystem::path path_;
};

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> readFile(const std::string& path);

/// Appends little-endian integers to a byte vector.
void putU16(std::vector<uint8_t>& out, uint16_t v);
void putU32(std::vector<uint8_t>& out, uint32_t v);
void putBytes(std::vector<uint8_t>& out, const char* text);

/// A canonical 44-byte WAV header for the given format and data size.
std::vector<uint8_t> wavHeader(uint16_t formatTag, uint16_t channels, uint32_t rate, uint16_t bits,
                               uint32_t dataBytes);

/// A canonical PCM WAV file whose payload bytes are `pcm`.
std::vector<uint8_t> makeWav(uint16_t channels, uint32_t rate, uint16_t bits,
                             const std::vector<uint8_t>& pcm);

/// Deterministic PCM bytes (a pattern that differs at every byte position).
std::vector<uint8_t> patternBytes(size_t count, uint32_t seed = 1);

/// The data chunk of a canonical 44-byte-header WAV file (as the virtual output writes); adds
/// a test failure when the header is not that.
std::vector<uint8_t> wavPayload(const std::string& path);

/// 16-bit (or 8-bit) PCM whose samples differ at every position, `frames` frames long.
std::vector<uint8_t> testPcm(uint32_t frames, uint16_t channels, uint16_t bits, uint32_t seed = 7);

/// Sets an environment variable for the life of the object, restoring it afterwards.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const std::string& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    std::string name_;
    bool had_;
    std::string old_;
};

/// Result of running a shell command.
struct CommandResult {
    int exitCode = -1;
    std::string output; // standard output only
};

/// Runs `command` through /bin/sh and captures its standard output.
CommandResult runCommand(const std::string& command);

/// Quotes a string for /bin/sh.
std::string shellQuote(const std::string& text);

/// Folder where the build puts executables and shared libraries.
inline std::string binDir() {
    return MIRELDO_BIN_DIR;
}
/// Folder holding the shared reference vectors.
inline std::string vectorsDir() {
    return MIRELDO_VECTORS_DIR;
}

} // namespace testsupport
