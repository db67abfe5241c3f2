#include "experiment/windows/frmoverview.h"

#include "experiment/core/expcontroller.h"
#include "experiment/core/overviewrow.h"
#include "experiment/windows/frmexp.h"

#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

namespace velorix {

namespace {

constexpr int kRefreshMs = 500;

enum Column {
    Device,
    DataFile,
    Session,
    Trial,
    FirstChannel,
    Errors = FirstChannel + kChannels,
    OnDisk,
    Columns
};

void setCell(QTableWidget *grid, int row, int column, const QString &text, const QString &tip = {})
{
    QTableWidgetItem *item = grid->item(row, column);
    if (!item) {
        item = new QTableWidgetItem;
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        grid->setItem(row, column, item);
    }
    if (item->text() != text)
        item->setText(text);
    item->setToolTip(tip);
}

void markTrouble(QTableWidget *grid, int row, int column, bool trouble)
{
    QTableWidgetItem *item = grid->item(row, column);
    item->setForeground(trouble ? QBrush(Qt::white) : QBrush());
    item->setBackground(trouble ? QBrush(QColor(0xC0, 0x20, 0x20)) : QBrush());
}

} // namespace

frmoverview::frmoverview(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("frmoverview"));
    setWindowTitle(QStringLiteral("Experiments Overview"));
    grdoverview = new QTableWidget(0, Columns, this);
    grdoverview->setObjectName(QStringLiteral("grdoverview"));
    QStringList headings = {QStringLiteral("Device"), QStringLiteral("Data File"), QStringLiteral("Session"),
                            QStringLiteral("Trial")};
    for (int c = 1; c <= kChannels; ++c)
        headings << QStringLiteral("Ch%1").arg(c);
    headings << QStringLiteral("Errors") << QStringLiteral("On Disk");
    grdoverview->setHorizontalHeaderLabels(headings);
    grdoverview->verticalHeader()->hide();
    grdoverview->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdoverview->setSelectionMode(QAbstractItemView::SingleSelection);
    grdoverview->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdoverview->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    grdoverview->horizontalHeader()->setStretchLastSection(true);
    // The window opens as large as its rows and columns, so that four
    // experiments show without scrolling.
    grdoverview->setSizeAdjustPolicy(QAbstractScrollArea::AdjustToContents);
    grdoverview->setToolTip(QStringLiteral("Double-click a row to bring its experiment window forward"));
    lblnone = new QLabel(QStringLiteral("No experiment window is open."), this);
    lblnone->setObjectName(QStringLiteral("lblnone"));

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lblnone);
    layout->addWidget(grdoverview, 1);

    connect(grdoverview, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
        if (frmexp *window = windowOfRow(row))
            window->bringForward();
    });
    connect(&m_timer, &QTimer::timeout, this, &frmoverview::refreshRows);
    m_timer.start(kRefreshMs);
    refreshRows();
}

frmexp *frmoverview::windowOfRow(int row) const
{
    return row >= 0 && row < int(m_windows.size()) ? m_windows[std::size_t(row)].data() : nullptr;
}

void frmoverview::refreshRows()
{
    m_windows.clear();
    for (frmexp *window : frmexp::openWindows()) {
        if (window->controller())
            m_windows.emplace_back(window);
    }
    lblnone->setVisible(m_windows.empty());
    grdoverview->setRowCount(int(m_windows.size()));
    for (int r = 0; r < int(m_windows.size()); ++r) {
        const OverviewRow row = overviewRowOf(*m_windows[std::size_t(r)]->controller());
        setCell(grdoverview, r, Device, QStringLiteral("%1 at %2").arg(row.device).arg(row.address));
        setCell(grdoverview, r, DataFile, QFileInfo(row.dataFile).fileName(), row.dataFile);
        setCell(grdoverview, r, Session, row.session);
        setCell(grdoverview, r, Trial, row.trial);
        for (int c = 0; c < kChannels; ++c)
            setCell(grdoverview, r, FirstChannel + c, row.channels[std::size_t(c)]);
        setCell(grdoverview, r, Errors, QString::number(row.errors));
        setCell(grdoverview, r, OnDisk, row.onDisk ? QStringLiteral("yes") : QStringLiteral("NOT ALL"),
                row.onDisk ? QString() : QStringLiteral("Some recorded rows are not yet in the data file"));
        markTrouble(grdoverview, r, OnDisk, !row.onDisk);
    }
}

} // namespace velorix
