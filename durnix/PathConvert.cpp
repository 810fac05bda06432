#include "durnix/PathConvert.h"

#include <strings.h>
#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "common/module/SystemCalls.h"

namespace durnix {
namespace {

namespace sys = vantor::sys;

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

struct FreeDeleter {
    void operator()(char* p) const { std::free(p); }
};
using HeapText = std::unique_ptr<char, FreeDeleter>;

// `resolved` lies inside the volume: it is the root, or the root followed by the separator.
bool InsideVolume(const char* resolved, const char* root, char separator) {
    const size_t n = std::strlen(root);
    return std::strncmp(resolved, root, n) == 0 && (resolved[n] == 0 || resolved[n] == separator);
}

// realpath() of `path`, traced when it fails or leaves the volume; null then.
HeapText ResolveInside(const char* path, const char* root, char separator) {
    HeapText resolved(realpath(path, nullptr));
    if (!resolved) {
        sys::SysTrace(kTraceCategory, "PrvFSPathConvert(): realpath(%s) FAILED.", path);
        return nullptr;
    }
    if (!InsideVolume(resolved.get(), root, separator)) {
        sys::SysTrace(kTraceCategory, "PrvFSPathConvert(): Path %s is outside volume.", resolved.get());
        return nullptr;
    }
    return resolved;
}

}  // namespace

void PrvFSPathMatchCase(const char* directory, char* component) {
    DIR* dir = opendir(directory);
    if (!dir) return;
    const size_t length = std::strlen(component);
    while (const dirent* entry = readdir(dir)) {
        if (strcasecmp(entry->d_name, component) == 0 && std::strlen(entry->d_name) == length) {
            std::memcpy(component, entry->d_name, length);
            break;
        }
    }
    closedir(dir);
}

char* PrvFSPathConvert(const DurnixGlobals* globals, const DurnixVolume* volume, const char* devicePath,
                       bool create) {
    if (!globals || !volume || !devicePath) return nullptr;
    sys::SysTrace(kTraceCategory, "PrvFSPathConvert(): [%s].", devicePath);
    const char separator = globals->separator ? globals->separator : '/';
    const size_t rootLength = strnlen(volume->root, sizeof volume->root);
    HeapText text(static_cast<char*>(std::malloc(rootLength + std::strlen(devicePath) + 2)));
    if (!text) return nullptr;

    // The root, then the device path with every run of '/' and '\' as one separator.
    char* out = text.get();
    std::memcpy(out, volume->root, rootLength);
    out += rootLength;
    if (!IsSeparator(devicePath[0])) *out++ = separator;
    for (const char* in = devicePath; *in;) {
        if (IsSeparator(*in)) {
            *out++ = separator;
            while (IsSeparator(*in)) ++in;
        } else {
            *out++ = *in++;
        }
    }
    *out = 0;

    // Each name after the root takes the spelling of the host's entry, from the root outwards, so
    // that every lookup happens in a directory whose own name is already the host's.
    if (volume->fsMagic == kFsMagicMsDos) {
        sys::SysTrace(kTraceCategory, "PrvFSPathConvert(): MSDOS FS: No case matching needed.");
    } else {
        char* p = text.get() + rootLength;
        while (*p == separator) {
            char* name = p + 1;
            char* end = name;
            while (*end && *end != separator) ++end;
            if (end == name) break;
            const char saved = *end;
            *end = 0;
            *p = 0;
            PrvFSPathMatchCase(text.get()[0] ? text.get() : "/", name);
            *p = separator;
            *end = saved;
            p = end;
        }
    }

    HeapText result;
    if (!create) {
        result = ResolveInside(text.get(), volume->root, separator);
    } else {
        // The parent must exist inside the volume; the last name (a trailing separator aside) is
        // kept as it stands.
        const size_t length = std::strlen(text.get());
        size_t searchEnd = length;
        if (searchEnd > 1 && text.get()[searchEnd - 1] == separator) --searchEnd;
        size_t cut = searchEnd;
        while (cut > 0 && text.get()[cut - 1] != separator) --cut;
        if (cut <= 1) return nullptr;  // no separator after the first character
        const char* last = text.get() + cut;
        text.get()[cut - 1] = 0;
        HeapText parent = ResolveInside(text.get(), volume->root, separator);
        if (parent) {
            const size_t parentLength = std::strlen(parent.get());
            const size_t lastLength = std::strlen(last);
            result.reset(static_cast<char*>(std::malloc(parentLength + 1 + lastLength + 1)));
            if (result) {
                std::memcpy(result.get(), parent.get(), parentLength);
                result.get()[parentLength] = separator;
                std::memcpy(result.get() + parentLength + 1, last, lastLength + 1);
            }
        }
        // A last name that already exists ("..", ".", a symbolic link) must not lead out of the
        // volume either: resolve it too.
        struct stat status;
        if (result && lstat(result.get(), &status) == 0 && !ResolveInside(result.get(), volume->root, separator))
            result.reset();
    }
    if (result) sys::SysTrace(kTraceCategory, "PrvFSPathConvert(): [%s].", result.get());
    return result.release();
}

}  // namespace durnix
