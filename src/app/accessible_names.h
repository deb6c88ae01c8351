// The names a screen reader gives the window's controls: each its own label's text, or a name
// of its own for what has no label (the tables, the chart, the news pane).
#pragma once

namespace velmora::app {

class TfmMain;

// Names every labelled input after its label and the unlabelled views after what they show,
// in the interface language in force; called again after each language switch.
void NameForScreenReaders(TfmMain& window);

}  // namespace velmora::app
