#pragma once

#include "platform/Twips.h"

#include <QRect>

#include <initializer_list>
#include <limits>

class QWidget;

// Converts design measures in twips into pixels at a widget's logical DPI and
// places controls at their design boxes. A control never cuts its own text:
// where the text needs more room at the screen's font than the box gives, the
// control grows to the right and down (a word-wrapping label only down), up to
// the right limit given.
class TwipsPlacer
{
public:
    explicit TwipsPlacer(const QWidget &reference);
    explicit TwipsPlacer(double logicalDpi) : m_dpi(logicalDpi) {}

    static constexpr int noLimit = std::numeric_limits<int>::max();

    double dpi() const { return m_dpi; }
    int px(double twips) const;
    double twips(int pixels) const;
    QRect rect(const TwipsBox &box) const;

    // Sets `widget`'s geometry to `box`, grown where its text needs more room
    // but never past `rightLimit` (pixels in its parent). Returns the geometry.
    QRect place(QWidget *widget, const TwipsBox &box, int rightLimit = noLimit) const;

    // The size `widget` needs so that its text is not cut, at least `size`:
    // labels, check boxes and buttons take the width and height of their text,
    // combo boxes the width of their longest item, text boxes and combo boxes
    // the height of their text; other controls keep `size`.
    static QSize grownSize(const QWidget *widget, QSize size);

    // Gives each of `column` the width of the widest, so that controls placed
    // one below the other stay one column when one of them grew.
    static void sameWidth(std::initializer_list<QWidget *> column);

private:
    double m_dpi;
};
