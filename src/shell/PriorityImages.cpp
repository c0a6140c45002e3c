#include "shell/PriorityImages.h"

#include <QFont>
#include <QPainter>
#include <QPixmap>

#include <array>

namespace PriorityImages {

QIcon icon(int priority)
{
    if (priority < 1 || priority > 5)
        return QIcon();
    static std::array<QIcon, 5> icons;
    QIcon &cached = icons[size_t(priority - 1)];
    if (!cached.isNull())
        return cached;

    static const std::array<QColor, 5> colours = {QColor(200, 40, 40), QColor(230, 120, 20),
                                                  QColor(200, 170, 0), QColor(50, 150, 60),
                                                  QColor(50, 100, 190)};
    QPixmap image(15, 14);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(colours[size_t(priority - 1)].darker(140));
    painter.setBrush(colours[size_t(priority - 1)]);
    painter.drawRoundedRect(QRectF(0.5, 0.5, 14, 13), 3, 3);
    QFont font;
    font.setPixelSize(11);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRect(0, 0, 15, 14), Qt::AlignCenter, QString::number(priority));
    painter.end();
    cached = QIcon(image);
    return cached;
}

} // namespace PriorityImages
