#pragma once

// The "Audio Convertor / Merger" dialog: the source list (folder, file name, time range and
// status of each source), the destination with "...", the output type, sample rate, channel
// and bit-rate lists, "Skip a file if the destination file exists", "Merge to one file", the
// two progress bars and the current source's name. Convert runs the converter's job on this
// thread; the job asks the dialog for the cancel request between blocks and pieces, and the
// dialog lets its events run there, so it repaints and Cancel works while the job runs. While a
// job runs every other button and closing do nothing.
//
// The five choices are read from section "History" when the dialog is made and written back
// when it closes (the values held since the last Convert, "..." or opening).
//
// Threads: the user-interface thread only.

#include "converter_choices.h"
#include "converter_job.h"
#include "small_dialogs.h"

#include <QStringList>

#include <functional>
#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QTableWidget;

namespace mireldo {
class UserMessages;
}
namespace mireldo::encoders {
class EncoderTable;
}
namespace mireldo::platform {
class ProfileStore;
}

namespace mireldo::converter {

class CTimeRangeDialog;

/// Control ids of the converter dialog's template.
enum class ConvCtl : int {
    Convert = 1,
    SetRange = 1056,
    Merge = 1057,
    Skip = 1059,
    Channels = 1066,
    Destination = 1100,
    Add = 1102,
    List = 1103,
    Remove = 1104,
    Browse = 1105,
    Type = 1106,
    Progress1 = 1107, ///< finished sources of the job
    Progress2 = 1108, ///< the current source in percent
    Rate = 1109,
    RemoveAll = 1110,
    Bitrate = 1111,
    CurrentName = 1112,
    CancelJob = 1113,
};

/// Columns of the source list.
enum ConvColumn : int { ColPath = 0, ColName = 1, ColRange = 2, ColStatus = 3 };

/// What the dialog works with; the choosers default to the program's file dialog and folder
/// browser, tests replace them.
struct ConverterServices {
    const encoders::EncoderTable* encoders = nullptr;
    UserMessages* messages = nullptr;
    /// Adds a converted output to the playlist, selecting the new item.
    std::function<void(const QString&)> addToPlaylist;
    /// "Add...": the chosen files, starting in `folder`; nothing when cancelled.
    std::function<std::optional<QStringList>(const QString& folder)> chooseSources;
    /// "..." with one source: the chosen save path, starting in `folder`.
    std::function<std::optional<QString>(const QString& folder)> chooseSaveFile;
    /// "..." otherwise: the chosen folder, starting at `start`.
    std::function<std::optional<QString>(const QString& start)> chooseFolder;
    /// Runs the "Time range" dialog modally; QDialog::Accepted on OK.
    std::function<int(CTimeRangeDialog&)> runTimeRange;
};

class CConverterDialog : public ui::CIdDialog {
    Q_OBJECT

  public:
    /// A dialog listing `paths`, its choices read from `store` (which must outlive it).
    CConverterDialog(const QStringList& paths, ConverterServices services,
                     platform::ProfileStore& store, QWidget* parent = nullptr);
    ~CConverterDialog() override;

    /// The sources, in list order.
    const QStringList& sources() const { return sources_; }
    /// The choices the dialog holds (what closing writes).
    const ConverterChoices& choices() const { return choices_; }
    bool busy() const { return busy_; }
    /// The 50 ms pauses at every tenth of a source; on by default.
    void setPacing(bool on) { pacing_ = on; }
    /// Text of the list's `row`, `column`.
    QString cellText(int row, int column) const;

    using CIdDialog::control;
    QWidget* control(ConvCtl id) const { return control(static_cast<int>(id)); }
    template <typename T>
    T* controlAs(ConvCtl id) const {
        return qobject_cast<T*>(control(id));
    }

    /// Escape and the close box: ignored while a job runs; else writes the choices and ends.
    void reject() override;

  Q_SIGNALS:
    /// Source `row` of the running job has started.
    void sourceStarted(int row);

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    class JobDisplay;

    void buildControls();
    void appendRow(const QString& path);
    void setStatus(int row, const QString& text);
    void showChoices();
    void takeControls();
    void setChoicesEnabled(bool on);

    void addSources();
    void removeSelected();
    void removeAll();
    void setTimeRange();
    void chooseDestination();
    void convert();
    void cancelJob();
    void finishJob(const JobOutcome& outcome);

    ConverterServices services_;
    platform::ProfileStore& store_;
    QStringList sources_;
    ConverterChoices choices_;
    bool busy_ = false;
    bool cancel_ = false;
    bool pacing_ = true;
    bool columnsSized_ = false;

    QTableWidget* list_ = nullptr;
    QLineEdit* destination_ = nullptr;
    QComboBox* type_ = nullptr;
    QComboBox* rate_ = nullptr;
    QComboBox* channels_ = nullptr;
    QComboBox* bitrate_ = nullptr;
    QCheckBox* skip_ = nullptr;
    QCheckBox* merge_ = nullptr;
    QProgressBar* jobBar_ = nullptr;
    QProgressBar* sourceBar_ = nullptr;
    QLabel* currentName_ = nullptr;
};

/// Shows the converter modally over `parent` with `paths` (at most kMaxInitialSources are
/// taken), its choices in the program's settings.
void runConverterDialog(QWidget* parent, const QStringList& paths, ConverterServices services);

} // namespace mireldo::converter
