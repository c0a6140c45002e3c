#include "shell/ImageLists.h"

#include "shell/PriorityImages.h"

#include <QStyle>

namespace ImageLists {

QIcon ImageList1(int priority)
{
    return PriorityImages::icon(priority);
}

QIcon ImageListToolbar(const QStyle &style, const QString &key)
{
    if (key == QLatin1String("tlbCheckForJobs"))
        return style.standardIcon(QStyle::SP_BrowserReload);
    if (key == QLatin1String("tlbBeginTransfer"))
        return style.standardIcon(QStyle::SP_ArrowDown);
    return QIcon();
}

QIcon ImageListSmall()
{
    QIcon images;
    for (const int size : {16, 24, 32})
        images.addFile(QStringLiteral(":/icons/app-%1.png").arg(size), QSize(size, size));
    return images;
}

QIcon ImageListLarge()
{
    QIcon images(QStringLiteral(":/icons/app-48.png"));
    images.addFile(QStringLiteral(":/images/app.png"));
    return images;
}

} // namespace ImageLists
