#pragma once

// The sound server's capture sources (the recorder's endpoints) and playback sinks, with the
// sources' volume and mute, kept current through the server's change subscription.
//
// Threads: PulseEndpoints lives on the thread that made it (the window's) and every public
// function is called there. libpulse runs its own thread (a threaded main loop); the state
// it gathers is handed over under a lock, and the signals are emitted on that thread, so a
// receiver on the window's thread gets them queued. queryPulseServer() may be called from
// any thread.
// Ownership: the object owns its main loop, context and thread; destruction ends them.

#include <QList>
#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace mireldo::platform::audio {

/// One capture source, as the endpoint list shows it.
struct PulseSource {
    std::uint32_t index = 0;
    QString name;        ///< the server's name; what capture opens
    QString description; ///< the friendly name; a monitor's reads "Monitor of ..."
    bool monitor = false;
    bool available = true;              ///< false when its active port is reported unplugged
    std::vector<std::uint32_t> volumes; ///< per channel, PA_VOLUME_NORM is 100 %
    bool muted = false;
    /// The volume as a 0-100 scalar: the loudest channel in percent, rounded as `pactl`
    /// prints it, at most 100.
    int volumePercent() const;
    friend bool operator==(const PulseSource&, const PulseSource&) = default;
};

/// One playback sink.
struct PulseSink {
    std::uint32_t index = 0;
    QString name;
    QString description;
};

/// What the server has, in its own order.
struct PulseServerState {
    std::vector<PulseSource> sources;
    std::vector<PulseSink> sinks;
    QString defaultSource;
    QString defaultSink;
};

/// Asks the server once (no change subscription); nullopt when none answers within
/// `timeoutMs` milliseconds. Never starts a server.
std::optional<PulseServerState> queryPulseServer(int timeoutMs = 2000);

/// The channel volumes `volumes` scaled so that the loudest becomes `percent` % (balance
/// kept; all-silent channels all become `percent`).
std::vector<std::uint32_t> scaledVolumes(const std::vector<std::uint32_t>& volumes, int percent);

class PulseEndpoints : public QObject {
    Q_OBJECT

  public:
    explicit PulseEndpoints(QObject* parent = nullptr);
    ~PulseEndpoints() override;

    /// Connects and reads the sources, sinks and defaults; false when no server answered
    /// within `timeoutMs`. Called once.
    bool start(int timeoutMs);
    bool connected() const;

    /// The server's state as last read.
    PulseServerState state() const;

    /// Sets the volume of source `name` to `percent` (0-100) keeping its balance, and
    /// unmutes it. The change comes back from the server as the program's own and is not
    /// reported through sourceChanged(). False when the request could not be sent.
    bool setVolume(const QString& name, int percent);
    /// Mutes or unmutes source `name`, likewise marked as the program's own change.
    bool setMute(const QString& name, bool muted);

  Q_SIGNALS:
    /// Sources or sinks were added or removed, or a default changed: the lists must be
    /// rebuilt from state().
    void listsChanged();
    /// The volume or mute of a source was changed by another program.
    void sourceChanged(const mireldo::platform::audio::PulseSource& source);
    /// The server went away; the lists are empty from now on.
    void serverLost();

  public:
    struct Impl; // the main loop's side; public only for the C callbacks

  private:
    std::unique_ptr<Impl> impl_;
};

} // namespace mireldo::platform::audio

Q_DECLARE_METATYPE(mireldo::platform::audio::PulseSource)
