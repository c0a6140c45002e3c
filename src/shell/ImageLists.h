#pragma once

#include <QIcon>
#include <QString>

class QStyle;

// The main window's image lists. Qt gives each item its image directly, so
// the lists are these functions, under the names the window's design gives
// them.
namespace ImageLists {

// The job list's priority images (PriorityImages): 1..5, a null icon for
// any other priority.
QIcon ImageList1(int priority);

// The toolbar's images by button key (tlbCheckForJobs, tlbBeginTransfer),
// from `style`; a null icon for another key.
QIcon ImageListToolbar(const QStyle &style, const QString &key);

// The program's image at the small sizes (16, 24 and 32 pixels): the tray icon.
QIcon ImageListSmall();

// The program's image at the large sizes (48 and 64 pixels): the notices.
QIcon ImageListLarge();

} // namespace ImageLists
