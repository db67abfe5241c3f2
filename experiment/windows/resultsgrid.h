#pragma once

// The results grid `expdatagrid`: eight columns with the set-up's units in
// their headings and one row per recorded run.

#include <QStringList>
#include <QTableWidget>

namespace velorix {

// Window geometry is given in twips (1/1440 inch).
[[nodiscard]] int twipsToPixels(const QWidget *widget, int twips);

class ResultsGrid final : public QTableWidget
{
    Q_OBJECT
public:
    explicit ResultsGrid(QWidget *parent = nullptr);

    // iniexpdatagrid: headings for the units, widths, the heading row only.
    void iniexpdatagrid(const QString &units);
    // A run's row at the bottom, made the current row.
    void addRun(const QStringList &cells);
    // The texts of a row, for the tests and the data file's check.
    [[nodiscard]] QStringList rowTexts(int row) const;
    [[nodiscard]] QStringList headings() const;
};

} // namespace velorix
