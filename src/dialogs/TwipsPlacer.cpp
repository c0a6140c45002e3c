#include "dialogs/TwipsPlacer.h"

#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionComboBox>

#include <algorithm>

TwipsPlacer::TwipsPlacer(const QWidget &reference) : m_dpi(reference.logicalDpiX())
{
}

int TwipsPlacer::px(double twips) const
{
    return Twips::toPixels(twips, m_dpi);
}

double TwipsPlacer::twips(int pixels) const
{
    return Twips::fromPixels(pixels, m_dpi);
}

QRect TwipsPlacer::rect(const TwipsBox &box) const
{
    return {px(box.left), px(box.top), px(box.width), px(box.height)};
}

QSize TwipsPlacer::grownSize(const QWidget *widget, QSize size)
{
    QSize needed = size;
    if (const auto *label = qobject_cast<const QLabel *>(widget)) {
        needed = label->wordWrap() ? QSize(size.width(), label->heightForWidth(size.width()))
                                   : label->sizeHint();
    } else if (const auto *button = qobject_cast<const QPushButton *>(widget)) {
        // The text with the style's margins: not the size hint, whose
        // smallest button (80 pixels in Fusion) is no text's need.
        const QStyle *style = button->style();
        const int margin = style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button) +
                           style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button);
        int width = button->fontMetrics().size(Qt::TextShowMnemonic, button->text()).width();
        if (!button->icon().isNull())
            width += button->iconSize().width() + margin;
        needed = QSize(width + 2 * margin, button->sizeHint().height());
    } else if (qobject_cast<const QAbstractButton *>(widget)) {
        needed = widget->sizeHint();
    } else if (const auto *combo = qobject_cast<const QComboBox *>(widget)) {
        int widest = 0;
        for (int i = 0; i < combo->count(); ++i)
            widest = std::max(widest, combo->fontMetrics().horizontalAdvance(combo->itemText(i)));
        QStyleOptionComboBox option;
        option.initFrom(combo);
        option.editable = combo->isEditable();
        needed = combo->style()->sizeFromContents(
            QStyle::CT_ComboBox, &option, QSize(widest, combo->fontMetrics().height()), combo);
        needed.setHeight(std::max(needed.height(), combo->minimumSizeHint().height()));
    } else if (qobject_cast<const QLineEdit *>(widget) ||
               qobject_cast<const QAbstractSpinBox *>(widget)) {
        needed.setHeight(widget->minimumSizeHint().height());
    }
    return size.expandedTo(needed);
}

QRect TwipsPlacer::place(QWidget *widget, const TwipsBox &box, int rightLimit) const
{
    QRect geometry = rect(box);
    const QSize needed = grownSize(widget, geometry.size());
    int width = needed.width();
    if (rightLimit != noLimit)
        width = std::max(geometry.width(), std::min(width, rightLimit - geometry.left()));
    geometry.setSize({width, needed.height()});
    widget->setGeometry(geometry);
    return geometry;
}

void TwipsPlacer::sameWidth(std::initializer_list<QWidget *> column)
{
    int widest = 0;
    for (const QWidget *widget : column)
        widest = std::max(widest, widget->width());
    for (QWidget *widget : column)
        widget->resize(widest, widget->height());
}
