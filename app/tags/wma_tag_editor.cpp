#include "wma_tag_editor.h"

#include "wmaruntime_api.h"

#include <QFile>

#include <dlfcn.h>

#include <array>
#include <vector>

namespace mireldo::tags {

namespace {

struct LibraryCloser {
    void operator()(void* handle) const {
        if (handle != nullptr) {
            ::dlclose(handle);
        }
    }
};

struct EditorRelease {
    void operator()(WmrMetadataEditor* e) const { e->vtbl->Release(e); }
};

struct ReaderRelease {
    void operator()(WmrSyncReader* r) const { r->vtbl->Release(r); }
};

/// Longest value written, in UTF-16 code units.
constexpr qsizetype kMaxValueLength = 1024;

uint64_t littleEndian(const unsigned char* value, uint32_t width) {
    uint64_t v = 0;
    for (uint32_t i = 0; i < width; ++i) {
        v |= uint64_t{value[i]} << (8 * i);
    }
    return v;
}

/// Opens `path` in a synchronous reader and counts its streams; false when it cannot be read or
/// has none.
bool hasStreams(WmrCreateSyncReaderFn createReader, const QByteArray& path) {
    WmrSyncReader* raw = nullptr;
    if (createReader(WMR_API_VERSION, WMR_RIGHTS_PLAYBACK, &raw) != WMR_OK || raw == nullptr) {
        return false;
    }
    std::unique_ptr<WmrSyncReader, ReaderRelease> reader(raw);
    if (reader->vtbl->Open(reader.get(), path.constData()) != WMR_OK) {
        return false;
    }
    uint32_t count = 0;
    bool ok = reader->vtbl->GetStreamCount(reader.get(), &count) == WMR_OK && count > 0;
    std::vector<uint16_t> numbers;
    for (uint32_t i = 0; ok && i < count; ++i) {
        uint16_t number = 0;
        WmrGuid major{};
        ok = reader->vtbl->GetStream(reader.get(), i, &number, &major) == WMR_OK;
        numbers.push_back(number);
    }
    reader->vtbl->Close(reader.get());
    return ok && !numbers.empty();
}

} // namespace

struct WmaTagEditor::Runtime {
    std::unique_ptr<void, LibraryCloser> library;
    std::unique_ptr<WmrMetadataEditor, EditorRelease> editor;
};

bool attributeText(uint32_t type, const unsigned char* value, uint32_t length, QString& out) {
    switch (type) {
    case WMR_TYPE_DWORD:
        if (length < 4) {
            return false;
        }
        out = QString::number(static_cast<int32_t>(static_cast<uint32_t>(littleEndian(value, 4))));
        return true;
    case WMR_TYPE_STRING: {
        const auto* text = reinterpret_cast<const char*>(value);
        qsizetype size = 0;
        while (size < static_cast<qsizetype>(length) && text[size] != '\0') {
            ++size;
        }
        out = QString::fromUtf8(text, size);
        return true;
    }
    case WMR_TYPE_BOOL:
        if (length < 4) {
            return false;
        }
        out = littleEndian(value, 4) == 1 ? QStringLiteral("True") : QStringLiteral("False");
        return true;
    case WMR_TYPE_QWORD:
        if (length < 8) {
            return false;
        }
        out = QString::number(littleEndian(value, 8));
        return true;
    case WMR_TYPE_WORD:
        if (length < 2) {
            return false;
        }
        out = QString::number(littleEndian(value, 2));
        return true;
    default:
        return false;
    }
}

WmaTagEditor::WmaTagEditor(const char* library)
    : library_(library != nullptr ? library : WMR_LIBRARY_NAME) {}

WmaTagEditor::~WmaTagEditor() {
    if (open_ && runtime_ && runtime_->editor) {
        // Closing after a save only tells the runtime that nothing more comes.
        runtime_->editor->vtbl->Close(runtime_->editor.get());
    }
}

bool WmaTagEditor::open(const QString& path) {
    auto runtime = std::make_unique<Runtime>();
    // Kept loaded once loaded: unloading would drop the codec libraries' static tables.
    runtime->library.reset(::dlopen(library_, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE));
    if (!runtime->library) {
        return false;
    }
    auto createEditor = reinterpret_cast<WmrCreateEditorFn>(
        ::dlsym(runtime->library.get(), WMR_EDITOR_FACTORY_NAME));
    auto createReader =
        reinterpret_cast<WmrCreateSyncReaderFn>(::dlsym(runtime->library.get(), WMR_FACTORY_NAME));
    auto isProtected = reinterpret_cast<WmrIsContentProtectedFn>(
        ::dlsym(runtime->library.get(), WMR_PROTECTION_CHECK_NAME));
    if (createEditor == nullptr || createReader == nullptr || isProtected == nullptr) {
        return false;
    }
    WmrMetadataEditor* editor = nullptr;
    if (createEditor(WMR_API_VERSION, &editor) != WMR_OK || editor == nullptr) {
        return false;
    }
    runtime->editor.reset(editor);
    runtime_ = std::move(runtime);

    const QByteArray file = QFile::encodeName(path);
    int32_t protectedContent = 0;
    if (isProtected(file.constData(), &protectedContent) != WMR_OK || protectedContent != 0) {
        return false;
    }
    if (!hasStreams(createReader, file)) {
        return false;
    }
    if (editor->vtbl->Open(editor, file.constData()) != WMR_OK) {
        return false;
    }
    open_ = true;

    // In the dialog's order; a missing attribute, or one that gives no text, leaves its field.
    QString track = QStringLiteral("0");
    QString genre;
    const std::array<std::pair<const char*, QString*>, 7> attributes{{
        {"Title", &fields_.title},
        {"Author", &fields_.artist},
        {"Description", &fields_.comment},
        {"WM/Year", &fields_.year},
        {"WM/AlbumTitle", &fields_.album},
        {"WM/TrackNumber", &track},
        {"WM/Genre", &genre},
    }};
    for (const auto& [name, field] : attributes) {
        uint32_t type = 0;
        uint32_t length = 0;
        if (editor->vtbl->GetAttributeByName(editor, 0, name, &type, nullptr, &length) != WMR_OK) {
            continue;
        }
        std::vector<unsigned char> value(length);
        QString text;
        if (editor->vtbl->GetAttributeByName(editor, 0, name, &type, value.data(), &length) ==
                WMR_OK &&
            attributeText(type, value.data(), length, text)) {
            *field = text.trimmed();
        }
    }
    fields_.track = leadingNumber(track);
    fields_.genreText = genre;
    return true;
}

bool WmaTagEditor::write(const TagFields& entered) {
    if (!open_ || !runtime_ || !runtime_->editor) {
        return false;
    }
    const TagFields f = normalizedForUpdate(entered, false);
    const QString genre = !f.genreText.isEmpty() ? f.genreText : genreName(f.genrePosition);
    const std::array<std::pair<const char*, QString>, 7> values{{
        {"Title", f.title},
        {"Author", f.artist},
        {"Description", f.comment},
        {"WM/Year", f.year},
        {"WM/AlbumTitle", f.album},
        {"WM/TrackNumber", QString::number(f.track)},
        {"WM/Genre", genre},
    }};
    WmrMetadataEditor* editor = runtime_->editor.get();
    for (const auto& [name, text] : values) {
        // An empty value is stored as one blank.
        const QString stored = text.isEmpty() ? QStringLiteral(" ") : text.left(kMaxValueLength);
        const QByteArray utf8 = stored.toUtf8();
        if (editor->vtbl->SetAttribute(editor, 0, name, WMR_TYPE_STRING,
                                       reinterpret_cast<const uint8_t*>(utf8.constData()),
                                       static_cast<uint32_t>(utf8.size())) != WMR_OK) {
            return false;
        }
    }
    return editor->vtbl->Flush(editor) == WMR_OK;
}

} // namespace mireldo::tags
