// Pictures of the window: the image list by index and the buttons' own pictures.
#pragma once

#include <QIcon>
#include <QList>

namespace velmora::app {

// Indexes into the image list.
enum TImageIndex {
    imgDelete = 0,
    imgDesktop = 1,
    imgMobile = 2,
    imgRefresh = 3,
    imgInfoGray = 4,
    imgInfo = 5,
    imgCopy = 6,
    imgCancel = 7,
    imgPlay = 8,
    imgSettings = 9,
    imgWeb = 10,
    imgGooglePageSpeed = 11,
    kImageCount = 12
};

// The twelve pictures in index order.
QList<QIcon> MakeImageList();

// Pictures of the buttons that the image list does not hold.
QIcon TextDocumentIcon();
QIcon WebDocumentIcon();
QIcon SpreadsheetExportIcon();

}  // namespace velmora::app
