// Just enough console control to redraw the live table in place.
#pragma once

namespace larkwire::monitor {

// True when standard output is a console that takes cursor escapes; switches
// them on where the console needs asking (Windows).
bool prepareScreenRedraw();

}  // namespace larkwire::monitor
