#pragma once

// BackgroundSaves: saves records finished at splits on a worker thread of its own, one at a
// time in the order they were handed over, while recording goes on into the next record.
// Each save copies the record (or its completed on-the-fly compression) or compresses it into
// the target under a temporary name (saveRecordFile); a saved record's temporary files are
// deleted, one that could not be saved is closed and left in the recording folder for the
// recovery. What happens is reported back to the owner's thread as typed reports: the
// progress of a compression and the end of every save.
//
// Threads:
//   - add(), pending(), waitForAll() and the destructor: the owner's thread (the thread that
//     made the object, the window's), which is also where the report handler runs.
//   - the worker thread runs the saves; it touches nothing but the jobs it took and the queues.
// Ownership: a job (its temporary WAV with the lock on it, its compressor) belongs to this
// object from add() until its report is made; the encoder table is not owned and must outlive
// this object. Reports are handed to the handler by value.

#include "message_receiver.h"
#include "record_saving.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace mireldo::recorder {

/// Posted by the worker to the owner: reports are waiting.
inline constexpr std::uint32_t RECORDER_SAVE_REPORTS = platform::WM_USER + 22;

/// One record to save in the background.
struct SaveJob {
    FinishedRecord record;
    /// Its on-the-fly compression, flushed; null when there is none worth copying.
    std::unique_ptr<encoders::OnTheFlyCompressor> compressed;
    SaveTarget target;
};

/// What a background save tells its owner.
struct SaveReport {
    enum class Kind { Progress, Done };
    Kind kind = Kind::Done;
    int percent = 0;   ///< Progress: 0..100 of the compression running
    bool ok = false;   ///< Done: saved at `savedPath`
    QString savedPath; ///< Done and ok: where the record is now
    QString keptPath;  ///< Done and not ok: the temporary WAV left for the recovery
};

class BackgroundSaves : public platform::MessageReceiver {
  public:
    using ReportHandler = std::function<void(const SaveReport&)>;

    /// `onReport` runs on the owner's thread for every report, in order.
    BackgroundSaves(const encoders::EncoderTable& table, ReportHandler onReport);
    /// Lets the worker finish every job handed over (nothing is dropped: each record ends up
    /// saved or kept), then ends it. Reports not yet handled are not delivered.
    ~BackgroundSaves() override;

    BackgroundSaves(const BackgroundSaves&) = delete;
    BackgroundSaves& operator=(const BackgroundSaves&) = delete;

    /// Queues `job`; the worker starts it when the saves before it are done.
    void add(SaveJob job);
    /// True while a job is queued or running or a report waits to be handled.
    bool pending() const;
    /// Blocks until every job has run, handling the reports as they come (the handler runs
    /// here, on the owner's thread).
    void waitForAll();

  private:
    void run();
    SaveReport save(SaveJob& job);
    void report(SaveReport report); // worker: queue it and tell the owner
    void deliver();                 // owner: hand the waiting reports to the handler

    const encoders::EncoderTable& table_;
    ReportHandler onReport_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;    // the worker: a job came or the end
    std::condition_variable changed_; // waitForAll(): a report came or a job ended
    std::deque<SaveJob> jobs_;        // under mutex_
    std::deque<SaveReport> reports_;  // under mutex_
    bool busy_ = false;               // under mutex_: the worker is running a job
    bool ending_ = false;             // under mutex_
    std::thread worker_;
};

} // namespace mireldo::recorder
