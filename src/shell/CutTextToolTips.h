#pragma once

#include <QStyledItemDelegate>

class QAbstractItemModel;
class QTreeView;

// A view's cells as usual; a cell too narrow for its text shows the whole
// text as its tooltip.
class CutTextToolTips : public QStyledItemDelegate
{
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // Makes `view` a flat list of `model`'s rows, selected whole, whose cut
    // cells show their whole text.
    static void setUpRowList(QTreeView &view, QAbstractItemModel &model);

    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                   const QModelIndex &index) override;
};
