// The window's menu bar: the program's actions with their shortcuts, menus with Alt mnemonics.
#pragma once

namespace velmora::app {

class TfmMain;

// Builds the menu bar of window once its controls exist. Each item does what its button or
// the grids' menu item does, and only when that could act right now.
void CreateMainMenu(TfmMain& window);

}  // namespace velmora::app
