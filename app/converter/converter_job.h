#pragma once

// A converter job: every source of the list converted, in order, into its own output or
// merged into one. Naming, the skip rule, the refusal to write over a source, the finishing
// of each output (flushed once, completed by the plug-in, renamed into place) and the
// results per source live here; the dialog and mireldo-cli both drive it.
//
// Threads: the thread that runs the job; the view is called on it.

#include "conversion_pipeline.h"
#include "converter_choices.h"
#include "encoder_table.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace mireldo::converter {

/// One source of a job.
struct JobSource {
    QString path;
    TimeRange range;
};

/// How a job runs.
struct JobOptions {
    ConverterChoices choices;
    bool skipExisting = true; ///< an existing output is skipped; else a finished one replaces it
    bool merge = false;
    bool pacing = false; ///< the dialog's 50 ms pauses at every tenth of a source
    /// Several sources without merge name a folder; with this set, so does one source whose
    /// destination is an existing folder.
    bool singleIntoFolder = false;
};

/// What the job shows while it runs, beyond the pipeline's view.
class JobView : public ConversionView {
  public:
    /// Source `index` starts ("Converting...").
    virtual void sourceStarted(int /*index*/) {}
    /// Source `index` ended with `result`; `output` is its output path.
    virtual void sourceFinished(int /*index*/, ConvertResult /*result*/,
                                const QString& /*output*/) {}
    /// `done` of `total` sources are finished.
    virtual void jobProgress(int /*done*/, int /*total*/) {}
};

/// Why a job cannot start; None when it can.
enum class JobRefusal { None, EncoderNotLoaded, NoSources, NoDestination };

/// Checks a job before it starts, as the Convert button does (the destination is trimmed).
JobRefusal checkJob(const encoders::EncoderTable& table, const std::vector<JobSource>& sources,
                    const JobOptions& options);

/// How a job ended.
struct JobOutcome {
    std::vector<ConvertResult> results; ///< per source; sources after a cancel are absent
    QStringList outputs;                ///< converted outputs to offer, in order (once per merge)
    int successCount = 0;
    bool cancelled = false;
};

/// Runs the job. Outputs are written under temporary names beside their targets and renamed
/// into place when complete; an output that is one of the job's sources is refused (result
/// WriteFailed) and never opened.
JobOutcome runJob(const encoders::EncoderTable& table, const std::vector<JobSource>& sources,
                  const JobOptions& options, JobView& view);

/// The string-table id of a result's status text.
int statusTextId(ConvertResult result);

} // namespace mireldo::converter
