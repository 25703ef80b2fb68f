#include "wma_tag_editor.h"

#include <dlfcn.h>

#include <memory>

namespace mireldo::tags {

namespace {

struct LibraryCloser {
    void operator()(void* handle) const {
        if (handle != nullptr) {
            ::dlclose(handle);
        }
    }
};

} // namespace

bool WmaTagEditor::open(const QString& /*path*/) {
    std::unique_ptr<void, LibraryCloser> runtime(::dlopen("libwmaruntime.so", RTLD_NOW));
    if (!runtime) {
        return false;
    }
    // The editor half: all three functions must be there.
    for (const char* name : {"WMCreateEditor", "WMCreateSyncReader", "WMIsContentProtected"}) {
        if (::dlsym(runtime.get(), name) == nullptr) {
            return false;
        }
    }
    return false; // the runtime in this build offers no metadata editor yet
}

} // namespace mireldo::tags
