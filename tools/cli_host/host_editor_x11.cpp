#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <future>
#include <string>
#include <thread>

#include "tools/cli_host/host_editor.h"

namespace larkwire::cli {

namespace {

constexpr int kIdleMs = 10;  // hosts call the idle function 30 to 100 times a second
constexpr int kIdlesPerCycle = 5;

std::atomic<int> hostErrors{0};
Display* hostDisplay = nullptr;
XErrorHandler earlierHandler = nullptr;

int countError(Display* display, XErrorEvent* error) {
    if (display == hostDisplay) {
        char text[128];
        XGetErrorText(display, error->error_code, text, sizeof text);
        std::fprintf(stderr, "larkwire-host: X error: %s (request %d)\n", text, int(error->request_code));
        hostErrors.fetch_add(1);
        return 0;
    }
    return earlierHandler != nullptr ? earlierHandler(display, error) : 0;
}

vst2::ERect editorRect(host::PluginHost& pluginHost, vst2::AEffect* effect) {
    vst2::ERect* rect = nullptr;
    pluginHost.dispatch(effect, vst2::effEditGetRect, 0, 0, &rect);
    return rect != nullptr ? *rect : vst2::ERect{0, 0, 0, 0};
}

}  // namespace

struct HostEditor::State {
    std::thread thread;
    std::atomic<bool> stopping{false};
};

bool HostEditor::start(host::PluginHost& pluginHost, vst2::AEffect* effect, const Options& o, std::string* error) {
    if ((effect->flags & vst2::effFlagsHasEditor) == 0) {
        *error = "the plug-in offers no editor";
        return false;
    }
    state_ = new State;
    std::promise<std::string> opened;
    std::future<std::string> result = opened.get_future();
    State* state = state_;
    state_->thread = std::thread([&pluginHost, effect, o, state, &opened] {
        Display* display = XOpenDisplay(nullptr);
        if (display == nullptr) {
            opened.set_value("cannot open the X display (is DISPLAY set?)");
            return;
        }
        hostDisplay = display;
        earlierHandler = XSetErrorHandler(countError);
        const Window root = DefaultRootWindow(display);
        if (o.editorDpi > 0) {
            const std::string resources = "Xft.dpi:\t" + std::to_string(o.editorDpi) + "\n";
            XChangeProperty(display, root, XA_RESOURCE_MANAGER, XA_STRING, 8, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(resources.data()), int(resources.size()));
        }
        vst2::ERect r = editorRect(pluginHost, effect);
        const int screen = DefaultScreen(display);
        Window window = XCreateSimpleWindow(display, root, 0, 0, unsigned(r.right > r.left ? r.right - r.left : 400),
                                            unsigned(r.bottom > r.top ? r.bottom - r.top : 300), 0,
                                            BlackPixel(display, screen), WhitePixel(display, screen));
        XStoreName(display, window, "Larkwire test host");
        XMapWindow(display, window);
        XSync(display, False);

        bool first = true;
        std::string failure;
        for (int cycle = 0; cycle < o.editorCycles && failure.empty(); ++cycle) {
            // One opening stays until the end; a series of them each closes soon.
            const bool stays = o.editorCycles == 1;
            if (pluginHost.dispatch(effect, vst2::effEditOpen, 0, 0, reinterpret_cast<void*>(window)) == 0) {
                failure = "effEditOpen failed";
                break;
            }
            r = editorRect(pluginHost, effect);
            if (first) {
                XResizeWindow(display, window, unsigned(r.right - r.left), unsigned(r.bottom - r.top));
                XSync(display, False);
                std::printf("editor:            open, %dx%d, window 0x%lx%s\n", r.right - r.left, r.bottom - r.top,
                            static_cast<unsigned long>(window), o.editorIdle ? "" : ", no idle calls");
                std::fflush(stdout);
                opened.set_value("");
                first = false;
            }
            for (int i = 0; stays ? !state->stopping.load() : i < kIdlesPerCycle; ++i) {
                while (XPending(display) > 0) {
                    XEvent event;
                    XNextEvent(display, &event);
                }
                if (o.editorIdle) pluginHost.dispatch(effect, vst2::effEditIdle);
                std::this_thread::sleep_for(std::chrono::milliseconds(kIdleMs));
            }
            pluginHost.dispatch(effect, vst2::effEditClose);
        }
        if (first) opened.set_value(failure);
        else if (!failure.empty()) std::fprintf(stderr, "larkwire-host: editor: %s\n", failure.c_str());
        if (o.editorCycles > 1 && failure.empty()) {
            std::printf("editor:            opened and closed %d times\n", o.editorCycles);
            std::fflush(stdout);
        }
        XDestroyWindow(display, window);
        XSync(display, False);
        XSetErrorHandler(earlierHandler);
        hostDisplay = nullptr;
        XCloseDisplay(display);
    });
    *error = result.get();
    if (!error->empty()) {
        stop();
        return false;
    }
    return true;
}

int HostEditor::stop() {
    if (state_ == nullptr) return hostErrors.load();
    state_->stopping.store(true);
    if (state_->thread.joinable()) state_->thread.join();
    delete state_;
    state_ = nullptr;
    return hostErrors.load();
}

}  // namespace larkwire::cli
