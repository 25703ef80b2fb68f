#pragma once

// The "MP3/WMA Tag" command's editing of one file: the MP3 dialog over the ID3 engine, or the
// WMA dialog over the runtime's editor, with their messages.
//
// Threads: the user-interface thread only.

#include <QString>

#include <functional>

class QWidget;

namespace mireldo::tags {

class CTagDialog;

/// How an edit ended.
enum class TagEditOutcome {
    NotShown,  ///< the file was too short or could not be read; no dialog
    Cancelled, ///< the dialog was closed without writing
    Updated,   ///< the tag was written
    Failed,    ///< the write failed; the file is as it was
};

/// Shows a message (an error icon) with the text of string `id`.
using TagMessage = std::function<void(int id)>;
/// Runs a dialog modally; tests replace it to fill and press buttons.
using TagDialogRunner = std::function<int(CTagDialog&)>;

/// Edits the MP3 file at `path`.
TagEditOutcome editMp3Tags(QWidget* parent, const QString& path, const TagMessage& message,
                           const TagDialogRunner& run = {});
/// Edits the WMA file at `path`.
TagEditOutcome editWmaTags(QWidget* parent, const QString& path, const TagMessage& message,
                           const TagDialogRunner& run = {});

} // namespace mireldo::tags
