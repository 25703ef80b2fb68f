#include "metadata_editor.h"

#include "asf_header.h"

#include <taglib/asffile.h>
#include <taglib/asftag.h>
#include <taglib/tbytevectorstream.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace wmaruntime {

namespace {

/// A file descriptor closed on destruction.
class Fd {
  public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    /// Closes now; false when close reports an error (a write that did not reach the file).
    bool reset() {
        const int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0;
    }

  private:
    int fd_;
};

/// The names TagLib keeps in the header's content description rather than as attributes.
enum class Described { None, Title, Author, Description, Copyright, Rating };

Described describedField(std::string_view name) {
    if (name == "Title") {
        return Described::Title;
    }
    if (name == "Author") {
        return Described::Author;
    }
    if (name == "Description") {
        return Described::Description;
    }
    if (name == "Copyright") {
        return Described::Copyright;
    }
    if (name == "Rating") {
        return Described::Rating;
    }
    return Described::None;
}

TagLib::String describedText(const TagLib::ASF::Tag& tag, Described field) {
    switch (field) {
    case Described::Title:
        return tag.title();
    case Described::Author:
        return tag.artist();
    case Described::Description:
        return tag.comment();
    case Described::Copyright:
        return tag.copyright();
    case Described::Rating:
        return tag.rating();
    case Described::None:
        break;
    }
    return {};
}

void setDescribedText(TagLib::ASF::Tag& tag, Described field, const TagLib::String& text) {
    switch (field) {
    case Described::Title:
        tag.setTitle(text);
        break;
    case Described::Author:
        tag.setArtist(text);
        break;
    case Described::Description:
        tag.setComment(text);
        break;
    case Described::Copyright:
        tag.setCopyright(text);
        break;
    case Described::Rating:
        tag.setRating(text);
        break;
    case Described::None:
        break;
    }
}

/// Other names under which files carry an attribute. Files written through FFmpeg's muxer (our
/// own WMA recordings among them) hold their tags as attributes named by FFmpeg's generic keys,
/// and "Title", "Author" and "Description" once more beside the content description; readers
/// take the later one. The editor reads such a name when the attribute itself is missing, and a
/// write replaces them all, so that every reader sees the value written.
std::vector<std::string_view> aliasesOf(std::string_view name) {
    if (name == "Title") {
        return {"title"};
    }
    if (name == "Author") {
        return {"artist", "author"};
    }
    if (name == "Description") {
        return {"comment", "description"};
    }
    if (name == "WM/Year") {
        return {"date", "year"};
    }
    if (name == "WM/AlbumTitle") {
        return {"album"};
    }
    if (name == "WM/TrackNumber") {
        return {"track"};
    }
    if (name == "WM/Genre") {
        return {"genre"};
    }
    return {};
}

/// The attribute names of `tag` that stand for `name`: the name itself first, then the same
/// name in other case and the aliases.
std::vector<TagLib::String> keysFor(const TagLib::ASF::Tag& tag, const char* name) {
    const TagLib::String exact(name, TagLib::String::UTF8);
    std::vector<TagLib::String> wanted{exact.upper()};
    for (std::string_view alias : aliasesOf(name)) {
        wanted.push_back(TagLib::String(std::string(alias), TagLib::String::UTF8).upper());
    }
    std::vector<TagLib::String> keys;
    if (tag.contains(exact)) {
        keys.push_back(exact);
    }
    for (const auto& entry : tag.attributeListMap()) {
        const TagLib::String upper = entry.first.upper();
        if (entry.first != exact &&
            std::find(wanted.begin(), wanted.end(), upper) != wanted.end()) {
            keys.push_back(entry.first);
        }
    }
    return keys;
}

void putLe(std::vector<uint8_t>& out, uint64_t value, int width) {
    for (int i = 0; i < width; ++i) {
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
}

uint64_t getLe(const uint8_t* value, uint32_t width) {
    uint64_t v = 0;
    for (uint32_t i = 0; i < width; ++i) {
        v |= uint64_t{value[i]} << (8 * i);
    }
    return v;
}

/// The value of `attr` in the API's form and its type.
std::vector<uint8_t> encode(const TagLib::ASF::Attribute& attr, uint32_t& type) {
    std::vector<uint8_t> out;
    switch (attr.type()) {
    case TagLib::ASF::Attribute::UnicodeType: {
        type = WMR_TYPE_STRING;
        const std::string text = attr.toString().to8Bit(true);
        out.assign(text.begin(), text.end());
        out.push_back(0);
        break;
    }
    case TagLib::ASF::Attribute::BoolType:
        type = WMR_TYPE_BOOL;
        putLe(out, attr.toBool() ? 1 : 0, 4);
        break;
    case TagLib::ASF::Attribute::DWordType:
        type = WMR_TYPE_DWORD;
        putLe(out, attr.toUInt(), 4);
        break;
    case TagLib::ASF::Attribute::QWordType:
        type = WMR_TYPE_QWORD;
        putLe(out, attr.toULongLong(), 8);
        break;
    case TagLib::ASF::Attribute::WordType:
        type = WMR_TYPE_WORD;
        putLe(out, attr.toUShort(), 2);
        break;
    case TagLib::ASF::Attribute::GuidType:
    case TagLib::ASF::Attribute::BytesType: {
        type = attr.type() == TagLib::ASF::Attribute::GuidType ? WMR_TYPE_GUID : WMR_TYPE_BINARY;
        const TagLib::ByteVector bytes = attr.toByteVector();
        out.assign(bytes.begin(), bytes.end());
        break;
    }
    }
    return out;
}

/// An attribute of `type` from `length` bytes of `value`; false for a type or length that does
/// not fit.
bool decode(uint32_t type, const uint8_t* value, uint32_t length, TagLib::ASF::Attribute& out) {
    switch (type) {
    case WMR_TYPE_STRING: {
        // A terminating NUL is the caller's choice; the stored text never holds one.
        std::string_view text(reinterpret_cast<const char*>(value), length);
        text = text.substr(0, text.find('\0'));
        out = TagLib::ASF::Attribute(TagLib::String(std::string(text), TagLib::String::UTF8));
        return true;
    }
    case WMR_TYPE_BINARY:
        out = TagLib::ASF::Attribute(
            TagLib::ByteVector(reinterpret_cast<const char*>(value), length));
        return true;
    case WMR_TYPE_BOOL:
        if (length != 4) {
            return false;
        }
        out = TagLib::ASF::Attribute(getLe(value, 4) != 0);
        return true;
    case WMR_TYPE_DWORD:
        if (length != 4) {
            return false;
        }
        out = TagLib::ASF::Attribute(static_cast<unsigned int>(getLe(value, 4)));
        return true;
    case WMR_TYPE_QWORD:
        if (length != 8) {
            return false;
        }
        out = TagLib::ASF::Attribute(static_cast<unsigned long long>(getLe(value, 8)));
        return true;
    case WMR_TYPE_WORD:
        if (length != 2) {
            return false;
        }
        out = TagLib::ASF::Attribute(static_cast<unsigned short>(getLe(value, 2)));
        return true;
    default:
        return false; // identifiers are kept, never written
    }
}

bool writeFully(int fd, const uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

/// Copies `from` (from its offset `start`) to the end of `to`, in the kernel where it can.
bool copyRest(int from, off_t start, int to, off_t size) {
    off_t in = start;
    while (in < size) {
        const ssize_t n =
            ::copy_file_range(from, &in, to, nullptr, static_cast<std::size_t>(size - in), 0);
        if (n > 0) {
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 &&
            (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
            break; // no kernel copy between these files: read and write
        }
        return false; // an error, or the file ended before its size
    }
    std::vector<uint8_t> buffer(1 << 20);
    while (in < size) {
        const ssize_t n = ::pread(
            from, buffer.data(),
            static_cast<std::size_t>(std::min<off_t>(size - in, static_cast<off_t>(buffer.size()))),
            in);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0 || !writeFully(to, buffer.data(), static_cast<std::size_t>(n))) {
            return false;
        }
        in += n;
    }
    return true;
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
}

} // namespace

MetadataEditor::MetadataEditor() : WmrMetadataEditor{&kEditorFunctions} {}

MetadataEditor::~MetadataEditor() = default;

int32_t MetadataEditor::open(const char* path) {
    if (path == nullptr) {
        return WMR_E_INVALIDARG;
    }
    if (isOpen()) {
        close();
    }
    // The file saved is the one a link names, so the link stays a link.
    char real[PATH_MAX];
    if (::realpath(path, real) == nullptr) {
        return WMR_E_INVALID_FILE;
    }
    Fd fd(::open(real, O_RDONLY | O_CLOEXEC));
    std::vector<uint8_t> header;
    if (fd.get() < 0 || readAsfHeader(fd.get(), header) != WMR_OK) {
        return WMR_E_INVALID_FILE;
    }
    auto stream = std::make_unique<TagLib::ByteVectorStream>(TagLib::ByteVector(
        reinterpret_cast<const char*>(header.data()), static_cast<unsigned int>(header.size())));
    auto file = std::make_unique<TagLib::ASF::File>(stream.get(), false);
    if (!file->isValid() || file->tag() == nullptr) {
        return WMR_E_INVALID_FILE;
    }
    path_ = real;
    oldHeader_ = std::move(header);
    stream_ = std::move(stream);
    file_ = std::move(file);
    return WMR_OK;
}

int32_t MetadataEditor::close() {
    if (!isOpen()) {
        return WMR_E_UNEXPECTED;
    }
    file_.reset();
    stream_.reset();
    oldHeader_.clear();
    path_.clear();
    return WMR_OK;
}

int32_t MetadataEditor::flush() {
    if (!isOpen()) {
        return WMR_E_UNEXPECTED;
    }
    // TagLib rewrites the header in memory; a second Flush after a failed one saves again from
    // the same edited tag, which gives the same header.
    if (!file_->save()) {
        return WMR_E_WRITE_FAILED;
    }
    const TagLib::ByteVector* edited = stream_->data();
    const std::vector<uint8_t> header(edited->begin(), edited->end());
    if (!replaceFile(header)) {
        return WMR_E_WRITE_FAILED;
    }
    return close();
}

bool MetadataEditor::replaceFile(const std::vector<uint8_t>& header) const {
    Fd old(::open(path_.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    std::vector<uint8_t> current;
    // The file must still be the one that was opened: its header is what we edited.
    if (old.get() < 0 || ::fstat(old.get(), &st) != 0 ||
        readAsfHeader(old.get(), current) != WMR_OK || current != oldHeader_) {
        return false;
    }
    std::string temp = path_;
    temp.insert(temp.rfind('/') + 1, ".");
    temp += ".XXXXXX";
    Fd out(::mkostemp(temp.data(), O_CLOEXEC));
    if (out.get() < 0) {
        return false;
    }
    const bool written =
        ::fchmod(out.get(), st.st_mode & 07777) == 0 &&
        writeFully(out.get(), header.data(), header.size()) &&
        copyRest(old.get(), static_cast<off_t>(oldHeader_.size()), out.get(), st.st_size) &&
        ::fsync(out.get()) == 0;
    if (written) {
        // Keep the owner where we may (a user editing their own file keeps it anyway).
        [[maybe_unused]] const int owned = ::fchown(out.get(), st.st_uid, st.st_gid);
    }
    if (!out.reset() || !written || ::rename(temp.c_str(), path_.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    // The rename itself reaches the disk with the folder.
    Fd folder(::open(folderOf(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() >= 0) {
        ::fsync(folder.get());
    }
    return true;
}

int32_t MetadataEditor::attribute(uint16_t streamNumber, const char* name, uint32_t* typeOut,
                                  uint8_t* value, uint32_t* lengthInOut) const {
    if (name == nullptr || typeOut == nullptr || lengthInOut == nullptr) {
        return WMR_E_INVALIDARG;
    }
    if (!isOpen()) {
        return WMR_E_UNEXPECTED;
    }
    const TagLib::ASF::Tag& tag = *file_->tag();
    std::vector<uint8_t> bytes;
    uint32_t type = 0;
    const Described field = describedField(name);
    bool found = false;
    if (field != Described::None && streamNumber == 0) {
        const TagLib::String text = describedText(tag, field);
        if (!text.isEmpty()) {
            bytes = encode(TagLib::ASF::Attribute(text), type);
            found = true;
        }
    }
    for (const TagLib::String& key : keysFor(tag, name)) {
        for (const TagLib::ASF::Attribute& attr : tag.attribute(key)) {
            if (!found && attr.stream() == streamNumber) {
                bytes = encode(attr, type);
                found = true;
            }
        }
    }
    if (!found) {
        return WMR_E_NOT_FOUND;
    }
    if (bytes.size() > UINT32_MAX) {
        return WMR_E_FAIL;
    }
    const auto length = static_cast<uint32_t>(bytes.size());
    *typeOut = type;
    if (value == nullptr) {
        *lengthInOut = length;
        return WMR_OK;
    }
    if (*lengthInOut < length) {
        return WMR_E_BUFFER_TOO_SMALL;
    }
    if (length > 0) {
        std::memcpy(value, bytes.data(), length);
    }
    *lengthInOut = length;
    return WMR_OK;
}

int32_t MetadataEditor::setAttribute(uint16_t streamNumber, const char* name, uint32_t type,
                                     const uint8_t* value, uint32_t length) {
    if (name == nullptr || *name == '\0' || (value == nullptr && length > 0)) {
        return WMR_E_INVALIDARG;
    }
    if (!isOpen()) {
        return WMR_E_UNEXPECTED;
    }
    if (streamNumber != 0) {
        return WMR_E_NOT_FOUND;
    }
    static const uint8_t kNothing = 0;
    TagLib::ASF::Attribute attr;
    if (!decode(type, value != nullptr ? value : &kNothing, length, attr)) {
        return WMR_E_INVALIDARG;
    }
    TagLib::ASF::Tag& tag = *file_->tag();
    const Described field = describedField(name);
    if (field != Described::None && type != WMR_TYPE_STRING) {
        return WMR_E_INVALIDARG;
    }
    for (const TagLib::String& key : keysFor(tag, name)) {
        tag.removeItem(key);
    }
    if (field != Described::None) {
        setDescribedText(tag, field, attr.toString());
    } else {
        tag.setAttribute(TagLib::String(name, TagLib::String::UTF8), attr);
    }
    return WMR_OK;
}

int32_t isContentProtected(const char* path, int32_t* protectedOut) {
    if (path == nullptr || protectedOut == nullptr) {
        return WMR_E_INVALIDARG;
    }
    *protectedOut = 0;
    Fd fd(::open(path, O_RDONLY | O_CLOEXEC));
    std::vector<uint8_t> header;
    if (fd.get() < 0 || readAsfHeader(fd.get(), header) != WMR_OK) {
        return WMR_E_INVALID_FILE;
    }
    *protectedOut = hasContentEncryption(header) ? 1 : 0;
    return WMR_OK;
}

} // namespace wmaruntime
