#pragma once

// The WMA dialog's link to the runtime's metadata editor, loaded by name when the dialog opens.
// The runtime is optional: without it (or without its editor functions) opening fails, the
// dialog shows its reading message and Update its modify message.
//
// Threads: the user-interface thread; one editor per dialog. The editor owns the runtime's
// objects from open() to its destruction.

#include "tag_fields.h"

#include <QString>

#include <memory>

namespace mireldo::tags {

class WmaTagEditor {
  public:
    /// An editor that loads the runtime from `library` (a bare name is looked up where the
    /// system looks for libraries, beside the program first).
    explicit WmaTagEditor(const char* library = nullptr);
    ~WmaTagEditor();
    WmaTagEditor(const WmaTagEditor&) = delete;
    WmaTagEditor& operator=(const WmaTagEditor&) = delete;

    /// Loads the runtime, checks that the file is not protected and has streams, opens it for
    /// editing and reads the seven attributes into fields(); false when any step fails (fields()
    /// then keeps what was read so far, the defaults at first).
    bool open(const QString& path);
    /// True once the editor has opened the file; stays true after a save.
    bool isOpen() const { return open_; }
    /// The attributes read by open(), converted to text by their types and trimmed.
    const TagFields& fields() const { return fields_; }

    /// Writes the seven fields as strings after an Update's clean-up, then saves. False when an
    /// attribute cannot be set (the rest are not tried) or the save fails: nothing is saved and
    /// the file is as it was.
    bool write(const TagFields& fields);

  private:
    struct Runtime;
    std::unique_ptr<Runtime> runtime_;
    const char* library_;
    bool open_ = false;
    TagFields fields_;
};

/// The text of an attribute value of the runtime's `type` (the dialog's conversions): a 32-bit
/// value as a signed decimal, a string as it is, a boolean as "True" when it is 1 else "False",
/// 64- and 16-bit values as unsigned decimals. Binary values and identifiers give no text
/// (false): the field keeps what it had.
bool attributeText(uint32_t type, const unsigned char* value, uint32_t length, QString& out);

} // namespace mireldo::tags
