#include "shell/CutTextToolTips.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QToolTip>
#include <QTreeView>

void CutTextToolTips::setUpRowList(QTreeView &view, QAbstractItemModel &model)
{
    view.setModel(&model);
    view.setItemDelegate(new CutTextToolTips(&view));
    view.setRootIsDecorated(false);
    view.setUniformRowHeights(true);
    view.setItemsExpandable(false);
    view.setSelectionBehavior(QAbstractItemView::SelectRows);
}

bool CutTextToolTips::helpEvent(QHelpEvent *event, QAbstractItemView *view,
                                const QStyleOptionViewItem &option, const QModelIndex &index)
{
    if (event && view && event->type() == QEvent::ToolTip) {
        const QString text = index.data(Qt::DisplayRole).toString();
        if (!text.isEmpty() && sizeHint(option, index).width() > option.rect.width()) {
            // As plain text, whatever the job's texts hold, line breaks kept.
            QToolTip::showText(
                event->globalPos(),
                QStringLiteral("<p style='white-space:pre'>%1</p>").arg(text.toHtmlEscaped()),
                view->viewport(), option.rect);
            return true;
        }
    }
    return QStyledItemDelegate::helpEvent(event, view, option, index);
}
