#pragma once

#include <QStyledItemDelegate>

// A view's cells as usual; a cell too narrow for its text shows the whole
// text as its tooltip.
class CutTextToolTips : public QStyledItemDelegate
{
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                   const QModelIndex &index) override;
};
