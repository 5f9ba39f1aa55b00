#pragma once
#include <memory>
#include <mutex>
#include <string>

#include <gmime/gmime.h>

// Ownership helpers for GMime/GLib objects, and one-time library set-up.
struct CGObjectUnref {
    void operator()(void* p) const {
        if (p) g_object_unref(p);
    }
};
template <class T>
using GObjectPtr = std::unique_ptr<T, CGObjectUnref>;

struct CGFree {
    void operator()(void* p) const { g_free(p); }
};
using GCharPtr = std::unique_ptr<char, CGFree>;

inline void EnsureGMime() {
    static std::once_flag s_once;
    std::call_once(s_once, [] { g_mime_init(); });
}

inline std::string TakeGString(char* psz) {
    GCharPtr p(psz);
    return p ? std::string(p.get()) : std::string();
}
