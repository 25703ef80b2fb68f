#pragma once

// mireldo-cli record [--input default|N|SOURCE] [--format ROW] [--noise-level 0-4] [--drop-silence]
//   [--action 0-4] [--long-silence SECONDS] [--discard-shorter SECONDS]
//   [--encode mp3|wma|ogg|wav] [--quality 0-15] [--folder DIR] [--duration SECONDS]
//   [--pre-roll SECONDS] [--hold MILLISECONDS] [--measure-noise]
//
// Records with the recorder's capture session and its rules (silence measure, skipped
// buffers, long-silence actions, automatic saves) and prints the full path of every saved
// file on its own line. Recording ends after --duration seconds (wall clock), when the input
// has nothing more to give, when a long-silence action stops it, or on Ctrl+C; what is left
// unsaved is then saved as an automatic save does. A live status line (status, length,
// level) goes to the diagnostics stream when that is a terminal.
//
// A record that cannot be saved is never deleted: its temporary WAV stays in the recording
// folder (the window's next start recovers it) and its path goes to the diagnostics stream;
// after a failed automatic save (--action 2, the size limit) recording goes on into a new
// record. Splits (--action 2, the size limit) never pause the capture: the next record
// starts with the next buffer while the finished one is saved in the background, and the run
// waits for those saves before it ends.
//
// Exit status: 0 when recording ended as asked and every record was saved (or discarded by
// --discard-shorter); 1 when a record could not be saved, or recording ended
// early by a device error, a write error or low disk space (what was recorded is still saved
// and printed); 2 for a usage error; 130 after Ctrl+C when nothing failed.
//
// --pre-roll SECONDS (0 to 2, in tenths) keeps that much of the skipped silence before the
// sound that ends it; --hold MILLISECONDS (0 to 500) makes shorter bursts count as silence.
// The live status line also shows the time left on the disk and the overruns; at the end a
// line on the diagnostics stream tells the overruns, if there were any.
// --measure-noise listens to the input for three seconds, prints the measured noise and the
// noise level it proposes ("noise 260: --noise-level 2") and exits (0, or 1 when the input
// could not be measured); it needs no record folder.
//
// --input picks what is recorded: "default" the system's default input; N the input numbered N
// by `mireldo-cli devices`. In the sound server's mode (MIRELDO_AUDIO_MODE=pulse, or a server
// answering at start-up) N counts the server's sources in the server's order and SOURCE names
// one (for example "alsa_input.usb-mic" or "mysink.monitor"); "default" is the server's default
// source.
//
// Defaults come from the settings store (section "Settings", and the format row from
// "History"); the flags override them for this run only.

#include "cli.h"

#include <QString>

#include <optional>

namespace mireldo::recorder {
class CaptureSession;
}

namespace mireldo::cli {

/// The settings of one recording run.
struct RecordOptions {
    int inputDevice = -1; ///< -1 the default device
    QString inputName;    ///< a source named by --input (the sound server's mode); empty: none
    int formatRow = 3;
    int noiseLevel = 0;
    bool dropSilence = false;
    int action = 0;
    int longSilenceSeconds = 2;
    bool discardShort = false;
    int discardShorterSeconds = 0;
    int encodeMethod = 0;
    int quality = 10;
    QString folder;
    std::optional<double> durationSeconds;
    int preRollTenths = 0;     ///< --pre-roll, in tenths of a second
    int holdMilliseconds = 0;  ///< --hold
    bool measureNoise = false; ///< --measure-noise: measure, print, exit
};

/// Applies the words after "record" to `options` (which holds the defaults). Empty on
/// success, else the reason the command line is wrong.
QString parseRecordArguments(const QStringList& args, RecordOptions& options);

/// Whether a silence of `seconds` can happen within one record of capture format row
/// `formatRow`: its bytes stay below the record size limit.
bool longSilenceReachable(int seconds, int formatRow);

/// The exit status of a run whose session is `session`: 1 when recording ended early or a
/// record was kept unsaved, else 130 when interrupted, else 0.
int recordExitStatus(const recorder::CaptureSession& session, bool interrupted);

/// The record command; `args` are the words after "record".
int runRecord(const QStringList& args, Console console);

} // namespace mireldo::cli
