#pragma once

// Helpers of the playlist tests: an event pump, list files written byte by byte, fixtures, and
// an opener the tests hold at a gate to catch the loader mid-open.

#include "item_loader.h"
#include "test_support.h"

#include <QString>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace playlisttest {

/// Handles events on this thread until `done` holds or `timeoutMs` passes; returns done().
bool pumpUntil(const std::function<bool()>& done, int timeoutMs = 10000);

/// A list-file header.
std::vector<std::uint8_t> listHeader(std::uint32_t magic, std::uint32_t version,
                                     std::uint16_t count, std::uint16_t recordSize);
/// Appends one record of `size` bytes holding `path` at offset 0 and, when the record is long
/// enough, `flags` at offset 260.
void appendRecord(std::vector<std::uint8_t>& out, const std::string& path, std::uint16_t size,
                  std::uint32_t flags = 0);

/// A one-second 44.1 kHz stereo 16-bit WAV file.
void writeWav(const std::string& path, std::uint32_t frames = 44100);

/// Number of this process's open descriptors that refer to `path`.
int openDescriptorsOf(const std::string& path);

QString qs(const std::string& text);

/// An opener that counts the files it was asked for, and can hold every open at a gate until
/// the test releases it. Opens for real through Sondrel once through the gate.
class GatedOpener {
  public:
    mireldo::playlist::ItemLoader::Opener opener();
    void close();                             ///< opens wait at the gate from now on
    void open();                              ///< releases every waiting and later open
    bool waitUntilHeld(int timeoutMs = 5000); ///< true once an open waits at the gate
    std::vector<QString> asked();             ///< paths asked for, in order

  private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool closed_ = false;
    int held_ = 0;
    std::vector<QString> asked_;
};

} // namespace playlisttest

namespace playlisttest {
/// Makes the process's application object on first use (a QCoreApplication in the unit tests,
/// a QApplication in the widget tests). Main thread.
void ensureApp();
} // namespace playlisttest
