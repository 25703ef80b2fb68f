#pragma once

// The recording settings in the endpoint mode: the endpoint list (the sound server's capture
// sources, monitors included), the recording-volume slider and "Mute" of the selected source.
// Sources added or removed while the program runs appear and disappear; the selection follows
// the source by its name. Changes other programs make to the volume or mute come back from
// the server and refresh the controls; the program's own changes do not.
//
// Threads: the user-interface thread only; the server's notifications arrive as queued
// signals of PulseEndpoints.
// Ownership: owns its connection to the server; the controls belong to the window.

#include "audio/pulse_endpoints.h"

#include <QObject>
#include <QString>
#include <QStringList>

class QCheckBox;
class QSlider;

namespace mireldo {

namespace ui {
class CTextList;
}

/// The row to select first among endpoint rows named `names`: the row of `savedName`, else
/// the row of `defaultName`, else 0 (-1 without rows). Of two equal names the later counts.
int preselectedEndpointRow(const QStringList& names, const QString& defaultName,
                           const QString& savedName);

class EndpointSettings : public QObject {
    Q_OBJECT

  public:
    /// Controls of the window: the endpoint list, the recording-volume slider (0-100, page 5)
    /// and "Mute". `savedName` is the friendly name selected when the program last closed.
    EndpointSettings(ui::CTextList* list, QSlider* volume, QCheckBox* mute, QString savedName,
                     QObject* parent = nullptr);

    /// Connects to the server and builds the list; false (the list stays empty) when no
    /// server answered within `timeoutMs`.
    bool start(int timeoutMs);

    /// The server's name of the selected source; empty when none is selected.
    QString selectedSourceName() const;
    /// How often the controls were refreshed from the server's values (the window's tests
    /// count it to tell the program's own changes from others').
    int refreshCount() const { return refreshes_; }
    /// The connection, for tests and for the output-device menu.
    platform::audio::PulseEndpoints& endpoints() { return endpoints_; }

  Q_SIGNALS:
    /// The list was rebuilt (sources came or went).
    void listRebuilt();
    /// The controls show new values of the selected source.
    void refreshed();

  private:
    void rebuild();
    void refresh();
    void volumeMoved(int value);
    void muteToggled(bool on);
    const platform::audio::PulseSource* selectedSource() const;

    platform::audio::PulseEndpoints endpoints_;
    platform::audio::PulseServerState state_;
    QStringList rowNames_; // the server's name of each row
    ui::CTextList* list_;
    QSlider* volume_;
    QCheckBox* mute_;
    QString savedName_;
    bool built_ = false;
    int refreshes_ = 0;
};

} // namespace mireldo
