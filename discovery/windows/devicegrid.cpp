#include "discovery/windows/devicegrid.h"

#include "model/windowplacement.h"
#include "discovery/core/deviceidentity.h"

#include <QColor>
#include <QHeaderView>

#include <algorithm>

namespace velorix {

namespace {

struct ColumnDesign
{
    const char *heading;
    int twips;
    const char *widest; // the widest text the column can hold
};

constexpr ColumnDesign kColumns[DeviceGrid::ColumnCount] = {
        {"Device", 900, "Velorix-5"}, {"Address#", 900, "239 (0xEF)"}, {"Prod ID#", 800, "9999"},
        {"Version", 800, "99.99"},    {"Status", 750, "No-Resp"},
};

// Room on both sides of a cell's text and of a heading's.
constexpr int kCellPadding = 12;

const QColor kBlack(0, 0, 0);
const QColor kBlue(0, 0, 255);
const QColor kRed(255, 0, 0);

} // namespace

DeviceGrid::DeviceGrid(QWidget *parent) : QTableWidget(parent)
{
    setObjectName(QStringLiteral("devgrid"));
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setWordWrap(false);
    verticalHeader()->hide(); // no fixed column
    horizontalHeader()->setHighlightSections(false);
    layOut();
}

int DeviceGrid::columnTwips(int column)
{
    return kColumns[column].twips;
}

int DeviceGrid::columnPixels(int column) const
{
    // The design widths suit a small system font; a larger one gets the
    // room its widest text needs, so that no cell wraps or is cut.
    const int design = twipsToPixels(columnTwips(column), logicalDpiX());
    const int cellText = fontMetrics().horizontalAdvance(QString::fromLatin1(kColumns[column].widest));
    const int headingText = horizontalHeader()->fontMetrics().horizontalAdvance(heading(column));
    return std::max({design, cellText + kCellPadding, headingText + kCellPadding});
}

QString DeviceGrid::heading(int column)
{
    return QString::fromLatin1(kColumns[column].heading);
}

void DeviceGrid::layOut()
{
    setRowCount(0);
    setColumnCount(ColumnCount);
    for (int column = 0; column < ColumnCount; ++column) {
        auto *head = new QTableWidgetItem(heading(column));
        head->setTextAlignment(Qt::AlignCenter);
        setHorizontalHeaderItem(column, head);
        setColumnWidth(column, columnPixels(column));
    }
    setCurrentCell(-1, -1);
    m_rowOfDevice.clear();
}

int DeviceGrid::appendDeviceRow(int deviceNumber)
{
    const int row = rowCount();
    insertRow(row);
    for (int column = 0; column < ColumnCount; ++column) {
        auto *item = new QTableWidgetItem;
        item->setForeground(kBlack);
        if (column == StatusColumn)
            item->setTextAlignment(Qt::AlignCenter);
        setItem(row, column, item);
    }
    m_rowOfDevice.insert(deviceNumber, row);
    return row;
}

int DeviceGrid::rowOf(int deviceNumber) const
{
    return m_rowOfDevice.value(deviceNumber, -1);
}

QTableWidgetItem *DeviceGrid::cell(int row, int column)
{
    if (row < 0 || row >= rowCount())
        return nullptr;
    return item(row, column);
}

void DeviceGrid::showRecord(int row, const DeviceInfo &record)
{
    // The configuration file keeps no device name: a Velorix-5 read from it
    // has none until it has been scanned.
    const QString name = record.strDevName.isEmpty() && record.intDevType == kDevTypeVelorix5
            ? kVelorix5Name
            : record.strDevName;
    const QString texts[] = {name, addressText(record.bytBusAddr), prodIdText(record.sngProdID),
                             versionText(record.sngVersion)};
    for (int column = DeviceColumn; column <= VersionColumn; ++column) {
        if (QTableWidgetItem *target = cell(row, column))
            target->setText(texts[column]);
    }
}

void DeviceGrid::setStatus(int row, Status status)
{
    QTableWidgetItem *target = cell(row, StatusColumn);
    if (!target)
        return;
    switch (status) {
    case Status::Cleared:
        target->setText(QString());
        target->setForeground(kBlack);
        break;
    case Status::Ok:
        target->setText(QStringLiteral("OK"));
        target->setForeground(kBlue);
        break;
    case Status::NoResp:
        target->setText(QStringLiteral("No-Resp"));
        target->setForeground(kRed);
        break;
    case Status::Error:
        target->setText(QStringLiteral("Error"));
        target->setForeground(kRed);
        break;
    }
}

void DeviceGrid::clearStatuses()
{
    for (int row = 0; row < rowCount(); ++row)
        setStatus(row, Status::Cleared);
}

} // namespace velorix
