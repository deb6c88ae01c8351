#include "cli/console_window.h"

namespace velmora::cli {

void TConsoleWindow::ShowProgress(bool visible) {
    if (!FProgressBar || FQuiet) return;
    if (visible) {
        FBarShown = true;
        DrawBar();
    } else {
        ClearBar();
        FBarShown = false;
    }
}

void TConsoleWindow::SetProgressPos(int pos) {
    FPos = pos;
    if (FBarShown) DrawBar();
}

void TConsoleWindow::ShowErrorBox(const std::string& text) {
    ClearBar();
    std::fprintf(stderr, "velmora-cli: %s\n", text.c_str());
    if (FBarShown) DrawBar();
}

std::vector<TShownRow> TConsoleWindow::ShownGridRows() const {
    std::vector<TShownRow> rows;
    rows.reserve(FMaster.Count());
    for (size_t i = 0; i < FMaster.Count(); ++i) rows.push_back({false, &FMaster[i]});
    return rows;
}

void TConsoleWindow::InsertLogRow(const std::string& timeText, const std::string& message) {
    if (FQuiet) return;
    // The window shows the newest line first; a terminal reads best oldest first, as they come.
    ClearBar();
    std::fprintf(stderr, "%s %s\n", timeText.c_str(), message.c_str());
    if (FBarShown) DrawBar();
}

void TConsoleWindow::DrawBar() {
    constexpr int kWidth = 40;
    int max = FMax > 0 ? FMax : 1;
    int pos = FPos > max ? max : FPos;
    int filled = pos * kWidth / max;
    std::string bar(static_cast<size_t>(filled), '#');
    bar.append(static_cast<size_t>(kWidth - filled), '.');
    std::fprintf(stderr, "\r[%s] %d/%d", bar.c_str(), FPos, FMax);
    std::fflush(stderr);
}

void TConsoleWindow::ClearBar() {
    if (!FBarShown) return;
    std::fprintf(stderr, "\r\033[K");
}

}  // namespace velmora::cli
