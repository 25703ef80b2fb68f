#include "tag_editing.h"

#include "mp3_tag_file.h"
#include "string_table.h"
#include "tag_dialog.h"
#include "wma_tag_editor.h"

namespace mireldo::tags {

namespace {

int runDialog(CTagDialog& dialog, const TagDialogRunner& run) {
    return run ? run(dialog) : dialog.exec();
}

} // namespace

TagEditOutcome editMp3Tags(QWidget* parent, const QString& path, const TagMessage& message,
                           const TagDialogRunner& run) {
    const Mp3TagRead read = readMp3Tag(path);
    if (read.status == TagStatus::TooShort) {
        return TagEditOutcome::NotShown;
    }
    if (read.status != TagStatus::Ok) {
        message(kStrTagFileFailed);
        return TagEditOutcome::NotShown;
    }
    // ID3v1 slots have fixed widths; ID3v2 fields keep their full text.
    CTagDialog dialog(kStrMp3TagCaption,
                      read.tag.kind == TagKind::Id3v2 ? TagLimits{} : kId3v1Limits, parent);
    dialog.setFields(read.tag.fields, path);
    if (runDialog(dialog, run) != QDialog::Accepted) {
        return TagEditOutcome::Cancelled;
    }
    if (writeMp3Tag(path, dialog.fields()) != TagStatus::Ok) {
        message(kStrTagFileFailed);
        return TagEditOutcome::Failed;
    }
    return TagEditOutcome::Updated;
}

TagEditOutcome editWmaTags(QWidget* parent, const QString& path, const TagMessage& message,
                           const TagDialogRunner& run) {
    CTagDialog dialog(kStrWmaTagCaption, kWmaLimits, parent);
    const QString fileName = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    dialog.setFields(TagFields{}, fileName);
    WmaTagEditor editor;
    if (editor.open(path)) {
        dialog.setFields(editor.fields(), fileName);
    } else {
        message(kStrWmaTagReadFailed);
    }
    bool written = false;
    dialog.setUpdateHandler([&](const TagFields& fields) {
        if (!editor.isOpen()) {
            message(kStrWmaTagCannotModify);
            return false;
        }
        if (!editor.write(fields)) {
            message(kStrWmaTagModifyFailed);
            return false;
        }
        written = true;
        return true;
    });
    if (runDialog(dialog, run) != QDialog::Accepted) {
        return TagEditOutcome::Cancelled;
    }
    return written ? TagEditOutcome::Updated : TagEditOutcome::Cancelled;
}

} // namespace mireldo::tags
