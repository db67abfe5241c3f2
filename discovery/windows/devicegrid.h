#pragma once

// The scan window's device grid `devgrid`: five columns (device, address,
// product ID, version, status) under a heading row, one row per listed
// device. The heading is the table's header, so the grid's first device row
// is table row 0.
//
// The grid remembers which device number each row lists. The configured
// scan writes a device's result into the row that lists it, so results land
// in the right place also when the device numbers in use have gaps.

#include "model/deviceinfo.h"

#include <QHash>
#include <QTableWidget>

namespace velorix {

class DeviceGrid : public QTableWidget
{
    Q_OBJECT
public:
    enum class Status {
        Cleared,
        Ok,
        NoResp,
        Error
    };
    enum Column {
        DeviceColumn,
        AddressColumn,
        ProdIdColumn,
        VersionColumn,
        StatusColumn,
        ColumnCount
    };

    explicit DeviceGrid(QWidget *parent = nullptr);

    // The empty grid: headings, column widths, no device rows.
    void layOut();

    // Appends an empty row for device number `deviceNumber`; returns the row.
    int appendDeviceRow(int deviceNumber);
    // The row that lists the device, or -1.
    [[nodiscard]] int rowOf(int deviceNumber) const;

    // Columns 0 to 3 from the record.
    void showRecord(int row, const DeviceInfo &record);
    void setStatus(int row, Status status);
    // Empties the status column of every row, in black.
    void clearStatuses();

    // The design width of a column, and its width here: at least the
    // design width at the screen's logical DPI, more when the font needs it.
    [[nodiscard]] static int columnTwips(int column);
    [[nodiscard]] int columnPixels(int column) const;
    [[nodiscard]] static QString heading(int column);

private:
    QTableWidgetItem *cell(int row, int column);

    QHash<int, int> m_rowOfDevice;
};

} // namespace velorix
