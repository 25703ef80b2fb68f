#pragma once

// The WMA dialog's link to the runtime's metadata editor, loaded by name when the dialog opens.
// The runtime is optional: without it (or without its editor functions) opening fails, the
// dialog shows its reading message and Update its modify message.
//
// Threads: the user-interface thread; one editor per dialog.

#include <QString>

namespace mireldo::tags {

class WmaTagEditor {
  public:
    /// Loads the runtime and looks up its editor functions; false when any is missing.
    bool open(const QString& path);
    /// True once the editor has opened the file.
    bool isOpen() const { return open_; }

  private:
    bool open_ = false;
};

} // namespace mireldo::tags
