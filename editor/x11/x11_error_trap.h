// Xlib's default error handler ends the process. An editor's requests can
// fail for reasons outside its control (the host destroys the parent window
// first, hands over a bad window), so while any editor is open a handler is
// installed that swallows the errors of the editors' own connections and
// passes every other connection's errors to the handler it replaced.
#pragma once

#include <X11/Xlib.h>

namespace larkwire {

// [ui, under the editor lock] Starts trapping the errors of this connection.
void trapErrorsOf(Display* display);
// [ui, under the editor lock] Stops; the handler is restored with the last one.
void untrapErrorsOf(Display* display);
// Errors seen on this connection since it was trapped.
int trappedErrorCount(Display* display);

}  // namespace larkwire
