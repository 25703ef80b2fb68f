#pragma once

#include "wmaruntime_api.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace TagLib {
class ByteVectorStream;
namespace ASF {
class File;
}
} // namespace TagLib

namespace wmaruntime {

/// The function table of metadata editors (wmaruntime_exports.cpp).
extern const WmrMetadataEditorVtbl kEditorFunctions;

/// The metadata editor behind the C function table: TagLib's ASF support working on a copy of
/// the file's header object held in memory. Reads and changes touch only that copy; Flush writes
/// the edited header and the rest of the file, copied byte for byte, to a new file beside the old
/// one and renames it over the old one. Used by one thread at a time.
class MetadataEditor : public WmrMetadataEditor {
  public:
    MetadataEditor();
    ~MetadataEditor();
    MetadataEditor(const MetadataEditor&) = delete;
    MetadataEditor& operator=(const MetadataEditor&) = delete;

    int32_t open(const char* path);
    int32_t close();
    int32_t flush();
    int32_t attribute(uint16_t streamNumber, const char* name, uint32_t* typeOut, uint8_t* value,
                      uint32_t* lengthInOut) const;
    int32_t setAttribute(uint16_t streamNumber, const char* name, uint32_t type,
                         const uint8_t* value, uint32_t length);

  private:
    bool isOpen() const { return file_ != nullptr; }
    /// Writes `header` and the old file's bytes after its header to a new file and renames it
    /// over the old one; false (and nothing changed) on any failure.
    bool replaceFile(const std::vector<uint8_t>& header) const;

    std::string path_;               // the real file, links resolved
    std::vector<uint8_t> oldHeader_; // the header object as it is on disk
    std::unique_ptr<TagLib::ByteVectorStream> stream_;
    std::unique_ptr<TagLib::ASF::File> file_;
};

/// The protection check behind WMIsContentProtected.
int32_t isContentProtected(const char* path, int32_t* protectedOut);

} // namespace wmaruntime
