// The editor's life on X11. Each open editor has its own connection to the
// display. The host's idle call (effEditIdle) drives it on the host's own
// thread; for hosts that stop calling it, a fallback thread per editor takes
// over after a short silence. One module-wide lock serialises all editor
// work, so the editors together behave as if they ran on one UI thread
// (the recent-destination list is shared and has no lock of its own). The
// audio thread never takes that lock and never touches X: the editor learns
// of changes by reading the instance, as the Windows editor's timers do.
#include <X11/Xlib.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <mutex>
#include <new>
#include <thread>

#include "editor/deferred_edit.h"
#include "editor/editor_host.h"
#include "editor/x11/editor_window.h"
#include "shell/module_state.h"
#include "shell/stream_effect.h"

namespace larkwire {

namespace {

// The host counts as idling while its last idle call is this recent.
constexpr std::int64_t kHostIdleGraceMs = 100;
constexpr int kFallbackTickMs = 15;

std::mutex editorLock;

std::int64_t nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

struct EditorSession {
    EditorWindow window;  // under editorLock
    std::thread fallback;
    int wake[2] = {-1, -1};
    std::atomic<bool> stopping{false};
    std::atomic<std::int64_t> lastHostIdle{0};
    // A user edit made on the fallback thread, told to the host from its own thread.
    std::atomic<bool> notifyPending{false};
};

EditorSession* sessionOf(StreamEffect& instance) { return static_cast<EditorSession*>(instance.editorWindow); }

// [editor fallback thread] Never calls the host: a host that marshals a
// callback to its UI thread while that thread waits in effEditClose for this
// thread would hang.
void runFallback(EditorSession* session, int connection) {
    while (!session->stopping.load()) {
        const bool hostIdles = nowMs() - session->lastHostIdle.load() < kHostIdleGraceMs;
        pollfd fds[2] = {{session->wake[0], POLLIN, 0}, {connection, POLLIN, 0}};
        poll(fds, hostIdles ? 1 : 2, kFallbackTickMs);
        if (session->stopping.load()) break;
        if (nowMs() - session->lastHostIdle.load() < kHostIdleGraceMs) continue;
        std::lock_guard<std::mutex> guard(editorLock);
        if (session->stopping.load()) break;
        session->window.pump();
        if (session->window.takeHostNotification()) session->notifyPending.store(true);
    }
}

struct MeasuredSize {
    std::atomic<int> width{0}, height{0};
} measured;

}  // namespace

bool openEditor(StreamEffect& instance, void* parent) {
    try {
        if (instance.editorWindow != nullptr) closeEditor(instance);
        auto* session = new (std::nothrow) EditorSession;
        if (session == nullptr) return false;
        bool opened;
        {
            std::lock_guard<std::mutex> guard(editorLock);
            opened = session->window.open(instance, static_cast<Window>(reinterpret_cast<std::uintptr_t>(parent)));
        }
        if (!opened) {
            delete session;
            return false;
        }
        measured.width.store(session->window.width());
        measured.height.store(session->window.height());
        session->lastHostIdle.store(nowMs());
        instance.editorWindow = session;
        // Without the fallback the editor still runs on the host's idle calls.
        if (pipe2(session->wake, O_CLOEXEC) == 0) {
            try {
                session->fallback = std::thread(runFallback, session, session->window.connectionNumber());
            } catch (...) {
            }
        }
        return true;
    } catch (...) {
        return false;
    }
}

void closeEditor(StreamEffect& instance, bool instanceClosing) {
    EditorSession* session = sessionOf(instance);
    if (session == nullptr) return;
    session->stopping.store(true);
    if (session->wake[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = write(session->wake[1], &byte, 1);
    }
    if (session->fallback.joinable()) session->fallback.join();
    int errors;
    bool notify;
    {
        std::lock_guard<std::mutex> guard(editorLock);
        session->window.close();
        errors = session->window.xErrors();
        notify = session->window.takeHostNotification() || session->notifyPending.load();
    }
    instance.editorWindow = nullptr;
    for (int fd : session->wake)
        if (fd >= 0) ::close(fd);
    delete session;
    // Swallowed so the host survives them; said here so they are not silent.
    if (errors != 0) std::fprintf(stderr, "larkwire: the editor met %d X errors\n", errors);
    // The address typed last was applied by the close; a closing instance
    // is not worth telling about.
    if (notify && !instanceClosing) notifyHostOfEdit(instance);
}

void idleEditor(StreamEffect& instance) {
    EditorSession* session = sessionOf(instance);
    if (session == nullptr) return;
    bool notify;
    {
        std::lock_guard<std::mutex> guard(editorLock);
        session->lastHostIdle.store(nowMs());
        session->window.pump();
        notify = session->window.takeHostNotification();
    }
    if (session->notifyPending.exchange(false)) notify = true;
    // Outside the lock: the host may call back into the plug-in.
    if (notify) notifyHostOfEdit(instance);
}

bool editorClientRect(StreamEffect& instance, vst2::ERect& rect) {
    int width = 0, height = 0;
    if (EditorSession* session = sessionOf(instance)) {
        width = session->window.width();
        height = session->window.height();
    } else if (measured.width.load() > 0) {
        width = measured.width.load();
        height = measured.height.load();
    } else {
        // Hosts size their window before they open the editor.
        std::lock_guard<std::mutex> guard(editorLock);
        if (!measureEditor(&width, &height)) return false;
        measured.width.store(width);
        measured.height.store(height);
    }
    rect = {0, 0, static_cast<vst2::int16>(height), static_cast<vst2::int16>(width)};
    return true;
}

// The editor compares the shown mode with the instance at every pass, so no
// other thread needs to reach the window.
void editorEnableSendControls(StreamEffect&, bool) {}

bool editorAvailable() { return true; }
// The font libraries keep process-wide caches and may hook displays; were
// they unloaded with this module, a host that never loaded them itself would
// lose the caches (and keep dangling hooks). They stay for the process.
void editorResourcesAttach(void*) {
    for (const char* library : {"libX11.so.6", "libXft.so.2", "libfontconfig.so.1"})
        dlopen(library, RTLD_NOW | RTLD_NODELETE);
}
void editorResourcesDetach() {}

}  // namespace larkwire
