#include "experiment/windows/resultsgrid.h"

#include "experiment/core/expdatafile.h"

#include <QHeaderView>
#include <QScrollBar>

namespace velorix {

namespace {

constexpr int kColumnTwips[] = {1000, 450, 1700, 1000, 1000, 1000, 1000, 1000};
// What each column must show in full, whatever the font: the widths in
// twips were chosen for a smaller one.
const char *const kWidestCell[] = {"Channel 4", "CH #",     "00/00/00 00:00:00", "0000.0",
                                   "0000.0",    "P_R Time", "P_R Speed",         "Total Run"};
constexpr int kHeadingTwips = 500;

} // namespace

int twipsToPixels(const QWidget *widget, int twips)
{
    const int dpi = widget ? widget->logicalDpiX() : 96;
    return (twips * dpi + 720) / 1440;
}

ResultsGrid::ResultsGrid(QWidget *parent) : QTableWidget(parent)
{
    setObjectName(QStringLiteral("expdatagrid"));
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    verticalHeader()->setVisible(false);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    // The narrow columns' headings take two lines, as the heading row has
    // always been tall enough for.
    horizontalHeader()->setDefaultAlignment(Qt::Alignment(Qt::AlignCenter | Qt::TextWordWrap));
    horizontalHeader()->setHighlightSections(false);
    iniexpdatagrid(QStringLiteral("RPM"));
}

void ResultsGrid::iniexpdatagrid(const QString &units)
{
    clear();
    setRowCount(0);
    const QStringList titles = datafile::gridHeadings(units);
    setColumnCount(int(titles.size()));
    setHorizontalHeaderLabels(titles);
    for (int column = 0; column < columnCount(); ++column) {
        const int needed = fontMetrics().horizontalAdvance(QLatin1String(kWidestCell[column])) + 14;
        setColumnWidth(column, qMax(twipsToPixels(this, kColumnTwips[column]), needed));
    }
    const int headingHeight = qMax(twipsToPixels(this, kHeadingTwips), 2 * fontMetrics().height() + 6);
    horizontalHeader()->setFixedHeight(headingHeight);
    // Every column in view: the grid scrolls down, never sideways, and the
    // plot beside it cannot squeeze it.
    setMinimumWidth(horizontalHeader()->length() + 2 * frameWidth()
                    + verticalScrollBar()->sizeHint().width());
}

void ResultsGrid::addRun(const QStringList &cells)
{
    const int row = rowCount();
    insertRow(row);
    for (int column = 0; column < columnCount() && column < cells.size(); ++column) {
        auto *item = new QTableWidgetItem(cells[column]);
        item->setTextAlignment(column == 0 ? Qt::AlignLeft | Qt::AlignVCenter : Qt::AlignCenter);
        setItem(row, column, item);
    }
    setCurrentCell(row, 0);
    scrollToBottom();
}

QStringList ResultsGrid::rowTexts(int row) const
{
    QStringList texts;
    for (int column = 0; column < columnCount(); ++column) {
        const QTableWidgetItem *cell = item(row, column);
        texts << (cell ? cell->text() : QString());
    }
    return texts;
}

QStringList ResultsGrid::headings() const
{
    QStringList texts;
    for (int column = 0; column < columnCount(); ++column)
        texts << horizontalHeaderItem(column)->text();
    return texts;
}

} // namespace velorix
