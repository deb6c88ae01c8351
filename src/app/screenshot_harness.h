// Pictures of the window for scripts/screenshot, driven by the --screenshot options. Kept out
// of the program's start-up so that a normal start reads without it.
#pragma once

namespace velmora::app {

class TfmMain;
struct TAppOptions;

// Shows the page --screenshot-page names, and when --screenshot names a file, saves the picture
// after --screenshot-delay (for "advice": the screen with the first failed row's advice window,
// as soon as there is one; "advice-first" takes the grid's first row once it is checked) and closes
// the window. Does nothing without these options.
void ArrangeScreenshot(TfmMain& window, const TAppOptions& options);

}  // namespace velmora::app
