// Paths on the publisher's sites that more than one layer needs: the desktop program opens
// them, and the simulator serves the same paths so that a demo shows working pages.
#pragma once

namespace velmora {

// The news page the desktop program's news pane shows.
inline constexpr const char* kPathNews = "/files/shownews.php";

}  // namespace velmora
