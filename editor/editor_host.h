// What the shell asks of the editor. Windows builds implement it with the
// dialog; builds without an editor get inert versions.
#pragma once

#include "shell/vst2.h"

namespace larkwire {

struct StreamEffect;

// [ui] Creates the editor as a child of parent; true when it was created.
bool openEditor(StreamEffect& instance, void* parent);
// [any thread] Destroys the open editor, if any, on the thread that owns its
// window, applying an edit still pending. instanceClosing: the instance is
// being destroyed, so the host is not told about that edit.
void closeEditor(StreamEffect& instance, bool instanceClosing = false);
// [ui] The host's idle call while the editor is open; window systems that
// do not deliver the editor's events themselves handle them here.
void idleEditor(StreamEffect& instance);
// [ui] The open editor's client rectangle; false when none is open.
bool editorClientRect(StreamEffect& instance, vst2::ERect& rect);
// [ui, may hold stateLock] Enables the send-only controls when sending.
void editorEnableSendControls(StreamEffect& instance, bool sending);
// Whether this build has an editor at all.
bool editorAvailable();

// [module attach / last detach] Window classes and bitmaps.
void editorResourcesAttach(void* moduleHandle);
void editorResourcesDetach();

}  // namespace larkwire
