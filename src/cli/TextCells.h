#pragma once

#include <QString>
#include <QStringView>

// Text measured as a terminal shows it: wide East Asian characters take two
// cells, combining marks and format characters none.
namespace TextCells {

int width(QStringView text);

// `text` cut to at most `cells` cells, its end replaced by "…" when cut.
QString fit(const QString &text, int cells);

// `text` followed by blanks up to `cells` cells.
QString padded(const QString &text, int cells);

} // namespace TextCells
