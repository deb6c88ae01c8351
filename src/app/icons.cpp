#include "app/icons.h"

#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

namespace velmora::app {
namespace {

// Desktop themes often lack some of these, and offscreen runs have no theme at all, so each
// picture has a small drawing of our own to fall back on.
QIcon FromSvg(const char* svg) {
    QSvgRenderer renderer{QByteArray(svg)};
    QIcon icon;
    for (int size : {16, 32}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        renderer.render(&p);
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}

QIcon Themed(const char* themeName, const char* svg) {
    QIcon fallback = FromSvg(svg);
    if (QIcon::hasThemeIcon(QString::fromLatin1(themeName)))
        return QIcon::fromTheme(QString::fromLatin1(themeName), fallback);
    return fallback;
}

#define SVG16(body)                                                                            \
    "<svg xmlns='http://www.w3.org/2000/svg' width='16' height='16' viewBox='0 0 16 16'>" body \
    "</svg>"

const char* kDelete = SVG16(
    "<path d='M3 4h10l-1 11H4z' fill='#d9534f' stroke='#8b1f1b'/>"
    "<rect x='2' y='2' width='12' height='2' fill='#8b1f1b'/><rect x='6' y='0.5' width='4' "
    "height='2' fill='#8b1f1b'/>");
const char* kDesktop = SVG16(
    "<rect x='1' y='2' width='14' height='9' rx='1' fill='#4a6fa5' stroke='#27406a'/>"
    "<rect x='2.5' y='3.5' width='11' height='6' fill='#cfe0f7'/>"
    "<rect x='6' y='11' width='4' height='2' fill='#27406a'/><rect x='4' y='13' width='8' "
    "height='1.5' fill='#27406a'/>");
const char* kMobile = SVG16(
    "<rect x='4' y='1' width='8' height='14' rx='1.5' fill='#4a6fa5' stroke='#27406a'/>"
    "<rect x='5.5' y='3' width='5' height='9' fill='#cfe0f7'/><circle cx='8' cy='13.3' "
    "r='0.8' fill='#cfe0f7'/>");
const char* kRefresh = SVG16(
    "<path d='M13 8a5 5 0 1 1-1.5-3.6' fill='none' stroke='#2e8b57' stroke-width='2'/>"
    "<path d='M9 1h5v5z' fill='#2e8b57'/>");
const char* kInfoGray = SVG16(
    "<circle cx='8' cy='8' r='7' fill='#b8b8b8'/><rect x='7' y='7' width='2' height='5' "
    "fill='#fff'/><circle cx='8' cy='4.5' r='1.2' fill='#fff'/>");
const char* kInfo = SVG16(
    "<circle cx='8' cy='8' r='7' fill='#2f7ed8'/><rect x='7' y='7' width='2' height='5' "
    "fill='#fff'/><circle cx='8' cy='4.5' r='1.2' fill='#fff'/>");
const char* kCopy = SVG16(
    "<rect x='1.5' y='1.5' width='9' height='10' fill='#fff' stroke='#555'/>"
    "<rect x='5.5' y='4.5' width='9' height='10' fill='#e8f0fb' stroke='#555'/>"
    "<path d='M7.5 7.5h5M7.5 9.5h5M7.5 11.5h3' stroke='#7a8aa0'/>");
const char* kCancel = SVG16(
    "<circle cx='8' cy='8' r='7' fill='#d9534f'/><path d='M5 5l6 6M11 5l-6 6' stroke='#fff' "
    "stroke-width='2'/>");
const char* kPlay =
    SVG16("<circle cx='8' cy='8' r='7' fill='#3a9d4a'/><path d='M6 4.5v7l6-3.5z' fill='#fff'/>");
const char* kSettings = SVG16(
    "<path d='M8 1l1.2 2 2.3-.6.3 2.3 2.2 1-1 2.1 1 2.1-2.2 1-.3 2.3-2.3-.6L8 15l-1.2-2-2.3.6"
    "-.3-2.3-2.2-1 1-2.1-1-2.1 2.2-1 .3-2.3 2.3.6z' fill='#6d6d6d'/><circle cx='8' cy='8' "
    "r='2.5' fill='#fff'/>");
const char* kWeb = SVG16(
    "<circle cx='8' cy='8' r='6.5' fill='#cfe6fb' stroke='#2f6db5'/>"
    "<ellipse cx='8' cy='8' rx='3' ry='6.5' fill='none' stroke='#2f6db5'/>"
    "<path d='M1.5 8h13M2.5 4.8h11M2.5 11.2h11' stroke='#2f6db5' fill='none'/>");
const char* kPageSpeed = SVG16(
    "<path d='M1.5 12a6.5 6.5 0 0 1 13 0z' fill='#fbbc05'/><path d='M8 12a6.5 6.5 0 0 1 "
    "6.5-0.1z' fill='#34a853'/><path d='M1.5 12a6.5 6.5 0 0 1 3-5.5L8 12z' fill='#ea4335'/>"
    "<path d='M8 12l3-5' stroke='#333' stroke-width='1.5'/><circle cx='8' cy='12' r='1.3' "
    "fill='#333'/>");
const char* kTextDoc = SVG16(
    "<path d='M3 1h7l3 3v11H3z' fill='#fff' stroke='#555'/><path d='M10 1v3h3' fill='none' "
    "stroke='#555'/><path d='M5 6.5h6M5 8.5h6M5 10.5h6M5 12.5h4' stroke='#7a8aa0'/>");
const char* kWebDoc = SVG16(
    "<path d='M2 1h7l3 3v11H2z' fill='#fff' stroke='#555'/><path d='M9 1v3h3' fill='none' "
    "stroke='#555'/><circle cx='11' cy='11' r='4' fill='#cfe6fb' stroke='#2f6db5'/>"
    "<ellipse cx='11' cy='11' rx='1.7' ry='4' fill='none' stroke='#2f6db5'/>"
    "<path d='M7 11h8' stroke='#2f6db5'/>");
const char* kSheetExport = SVG16(
    "<rect x='1.5' y='1.5' width='10' height='13' fill='#fff' stroke='#1e7145'/>"
    "<path d='M1.5 5.5h10M1.5 9.5h10M5.5 1.5v13' stroke='#1e7145'/>"
    "<path d='M9 11h5M12 8.5l2.5 2.5L12 13.5' stroke='#d9534f' stroke-width='1.6' "
    "fill='none'/>");

#undef SVG16

}  // namespace

QList<QIcon> MakeImageList() {
    QList<QIcon> list(kImageCount);
    list[imgDelete] = Themed("edit-delete", kDelete);
    list[imgDesktop] = Themed("computer", kDesktop);
    list[imgMobile] = Themed("phone", kMobile);
    list[imgRefresh] = Themed("view-refresh", kRefresh);
    list[imgInfoGray] = FromSvg(kInfoGray);  // no theme has a greyed-out info sign
    list[imgInfo] = Themed("dialog-information", kInfo);
    list[imgCopy] = Themed("edit-copy", kCopy);
    list[imgCancel] = Themed("process-stop", kCancel);
    list[imgPlay] = Themed("media-playback-start", kPlay);
    list[imgSettings] = Themed("preferences-system", kSettings);
    list[imgWeb] = Themed("applications-internet", kWeb);
    list[imgGooglePageSpeed] = FromSvg(kPageSpeed);
    return list;
}

QIcon TextDocumentIcon() {
    return Themed("text-x-generic", kTextDoc);
}
QIcon WebDocumentIcon() {
    return Themed("text-html", kWebDoc);
}
QIcon SpreadsheetExportIcon() {
    return Themed("x-office-spreadsheet", kSheetExport);
}

}  // namespace velmora::app
