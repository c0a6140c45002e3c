#include "cli/TextCells.h"

#include <QChar>

#include <algorithm>
#include <iterator>

namespace {

// The ranges of East Asian Wide and Fullwidth characters.
struct Range
{
    char32_t first;
    char32_t last;
};
constexpr Range wideRanges[] = {
    {0x1100, 0x115F},   {0x231A, 0x231B},   {0x2329, 0x232A},   {0x23E9, 0x23EC},
    {0x23F0, 0x23F0},   {0x23F3, 0x23F3},   {0x25FD, 0x25FE},   {0x2614, 0x2615},
    {0x2648, 0x2653},   {0x267F, 0x267F},   {0x2693, 0x2693},   {0x26A1, 0x26A1},
    {0x26AA, 0x26AB},   {0x26BD, 0x26BE},   {0x26C4, 0x26C5},   {0x26CE, 0x26CE},
    {0x26D4, 0x26D4},   {0x26EA, 0x26EA},   {0x26F2, 0x26F3},   {0x26F5, 0x26F5},
    {0x26FA, 0x26FA},   {0x26FD, 0x26FD},   {0x2705, 0x2705},   {0x270A, 0x270B},
    {0x2728, 0x2728},   {0x274C, 0x274C},   {0x274E, 0x274E},   {0x2753, 0x2755},
    {0x2757, 0x2757},   {0x2795, 0x2797},   {0x27B0, 0x27B0},   {0x27BF, 0x27BF},
    {0x2B1B, 0x2B1C},   {0x2B50, 0x2B50},   {0x2B55, 0x2B55},   {0x2E80, 0x303E},
    {0x3041, 0x33FF},   {0x3400, 0x4DBF},   {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},
    {0xA960, 0xA97F},   {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},   {0xFE10, 0xFE19},
    {0xFE30, 0xFE6F},   {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},   {0x16FE0, 0x16FE4},
    {0x17000, 0x18CFF}, {0x1B000, 0x1B2FF}, {0x1F004, 0x1F004}, {0x1F0CF, 0x1F0CF},
    {0x1F18E, 0x1F18E}, {0x1F191, 0x1F19A}, {0x1F200, 0x1F251}, {0x1F300, 0x1F64F},
    {0x1F680, 0x1F6FF}, {0x1F900, 0x1F9FF}, {0x1FA70, 0x1FAFF}, {0x20000, 0x2FFFD},
    {0x30000, 0x3FFFD},
};

int cellsOf(char32_t c)
{
    switch (QChar::category(c)) {
    case QChar::Mark_NonSpacing:
    case QChar::Mark_Enclosing:
    case QChar::Other_Format:
        return 0;
    default:
        break;
    }
    const auto *range = std::upper_bound(std::begin(wideRanges), std::end(wideRanges), c,
                                         [](char32_t v, const Range &r) { return v < r.first; });
    return range != std::begin(wideRanges) && c <= std::prev(range)->last ? 2 : 1;
}

// The code point at `i`, and the number of UTF-16 units it takes.
std::pair<char32_t, qsizetype> codePointAt(QStringView text, qsizetype i)
{
    const QChar c = text.at(i);
    if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
        return {QChar::surrogateToUcs4(c, text.at(i + 1)), 2};
    return {c.unicode(), 1};
}

} // namespace

namespace TextCells {

int width(QStringView text)
{
    int cells = 0;
    for (qsizetype i = 0; i < text.size();) {
        const auto [c, units] = codePointAt(text, i);
        cells += cellsOf(c);
        i += units;
    }
    return cells;
}

QString fit(const QString &text, int cells)
{
    if (width(text) <= cells)
        return text;
    if (cells <= 0)
        return QString();
    // Room for the "…", which takes one cell.
    int used = 0;
    qsizetype end = 0;
    while (end < text.size()) {
        const auto [c, units] = codePointAt(text, end);
        const int next = cellsOf(c);
        if (used + next > cells - 1)
            break;
        used += next;
        end += units;
    }
    return text.left(end) + QChar(0x2026);
}

QString padded(const QString &text, int cells)
{
    const int missing = cells - width(text);
    return missing > 0 ? text + QString(missing, QLatin1Char(' ')) : text;
}

} // namespace TextCells
