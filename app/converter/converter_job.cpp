#include "converter_job.h"

#include "file_system.h"
#include "native_path.h"
#include "output_file.h"
#include "string_table.h"

#include <sys/stat.h>

#include <utility>

namespace mireldo::converter {

namespace {

using FileId = std::pair<dev_t, ino_t>;

std::vector<FileId> identitiesOf(const std::vector<JobSource>& sources) {
    std::vector<FileId> ids;
    for (const JobSource& s : sources) {
        if (const auto st = platform::statPath(s.path)) {
            ids.emplace_back(st->st_dev, st->st_ino);
        }
    }
    return ids;
}

// True when `path` is the same file as one of the sources (same device and inode).
bool isSourceFile(const QString& path, const std::vector<FileId>& sources) {
    const auto st = platform::statPath(path);
    if (!st) {
        return false;
    }
    for (const FileId& id : sources) {
        if (id.first == st->st_dev && id.second == st->st_ino) {
            return true;
        }
    }
    return false;
}

bool pathExists(const QString& path) {
    return platform::statPath(path).has_value();
}

} // namespace

JobRefusal checkJob(const encoders::EncoderTable& table, const std::vector<JobSource>& sources,
                    const JobOptions& options) {
    if (!table.isLoaded(encoderSlotOfType(options.choices.typeIndex))) {
        return JobRefusal::EncoderNotLoaded;
    }
    if (sources.empty()) {
        return JobRefusal::NoSources;
    }
    if (options.choices.destination.trimmed().isEmpty()) {
        return JobRefusal::NoDestination;
    }
    return JobRefusal::None;
}

int statusTextId(ConvertResult result) {
    switch (result) {
    case ConvertResult::Converted:
        return 169;
    case ConvertResult::ReadFailed:
        return 175;
    case ConvertResult::WriteFailed:
        return 176;
    case ConvertResult::Cancelled:
        return 177;
    case ConvertResult::Skipped:
        return 174;
    case ConvertResult::NoEncoder:
    case ConvertResult::NoMemory:
        break;
    }
    return 170;
}

JobOutcome runJob(const encoders::EncoderTable& table, const std::vector<JobSource>& sources,
                  const JobOptions& options, JobView& view) {
    JobOutcome outcome;
    const QString destination = options.choices.destination.trimmed();
    const int total = static_cast<int>(sources.size());
    DestinationKind kind =
        (total == 1 || options.merge) ? DestinationKind::File : DestinationKind::Folder;
    if (total == 1 && !options.merge && options.singleIntoFolder &&
        platform::folderExists(destination)) {
        kind = DestinationKind::Folder;
    }
    const std::vector<FileId> sourceIds = identitiesOf(sources);
    BeId3v1Tag tag = encoders::makeId3v1PreTag();
    ConversionPipeline pipeline(table);
    OutputFile output;

    view.jobProgress(0, total);
    for (int i = 0; i < total; ++i) {
        const JobSource& source = sources[static_cast<std::size_t>(i)];
        view.sourceStarted(i);
        const QString target =
            outputPath(destination, kind, source.path, options.choices.typeIndex);

        ConvertResult result = ConvertResult::Converted;
        bool ran = false;
        if (!output.isOpen()) {
            if (options.skipExisting && pathExists(target)) {
                result = ConvertResult::Skipped;
            } else if (isSourceFile(target, sourceIds) || !output.open(target)) {
                // Writing over a source is refused before anything is opened.
                result = ConvertResult::WriteFailed;
            }
        }
        if (output.isOpen() && result == ConvertResult::Converted) {
            SourceRequest request{source.path, source.range, options.choices, options.pacing};
            result = pipeline.convert(request, output, tag, view);
            ran = true;
        }
        const bool cancelled = result == ConvertResult::Cancelled || view.cancelRequested();
        const bool last = i + 1 == total;

        if (ran && result == ConvertResult::Converted) {
            ++outcome.successCount;
            if (!options.merge || outcome.outputs.isEmpty()) {
                outcome.outputs.append(target);
            }
        }
        if (output.isOpen() && (!options.merge || last || cancelled)) {
            // A merge keeps what was converted, also after a cancel or a failed source; a
            // single output is kept only when its source converted.
            const bool keep =
                options.merge ? output.streaming() : result == ConvertResult::Converted;
            const QString finished = output.target();
            if (!keep) {
                output.discard();
            } else if (!output.finish(!options.skipExisting)) {
                if (result == ConvertResult::Converted) {
                    --outcome.successCount;
                }
                result = ConvertResult::WriteFailed;
                outcome.outputs.removeAll(finished);
                if (options.merge) {
                    outcome.successCount = 0;
                }
            }
        }
        outcome.results.push_back(result);
        view.sourceFinished(i, result, target);
        view.jobProgress(i + 1, total);
        if (cancelled) {
            outcome.cancelled = true;
            break;
        }
    }
    return outcome;
}

} // namespace mireldo::converter
