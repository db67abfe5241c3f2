#pragma once

// The "Study Results" window (Tools > Study Results): a folder of data
// files read as one study, its runs (sorted and filtered), the groups
// edited in place and saved to groups.csv, the figures, the faults found
// in the files, and the learning curves. Wiring only: what it shows and
// writes comes from StudyResults (study/core).

#include "study/core/studycurves.h"
#include "study/core/studyresults.h"

#include <QWidget>

class QCheckBox;
class QChartView;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QTableWidget;
class QTableWidgetItem;

namespace velorix {

class frmStudyResults final : public QWidget
{
    Q_OBJECT
public:
    explicit frmStudyResults(QWidget *parent = nullptr);

    // Reads the folder shown (the Data folder at first).
    void load();
    void readFolder(const QString &folder);
    [[nodiscard]] const StudyResults &results() const { return m_results; }
    [[nodiscard]] CurveChoice curveChoice() const;
    [[nodiscard]] QSize sizeHint() const override { return {960, 660}; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildRunsTab(QTabWidget *tabs);
    void buildGroupsTab(QTabWidget *tabs);
    void buildSummaryTab(QTabWidget *tabs);
    void buildCurveTab(QTabWidget *tabs);
    void buildFaultsTab(QTabWidget *tabs);

    void cmdBrowse_Click();
    void cmdRead_Click();
    void groupEdited(QTableWidgetItem *item);
    void cmdSaveGroups_Click();
    void cmdExport_Click(bool summary);
    void cmdSavePlot_Click(bool svg);

    void showAll();
    void showRuns();
    void showGroups();
    void showSummary();
    void showCurve();
    void showFaults();
    // A file name from the save dialog, after asking before one is
    // replaced; empty when cancelled.
    QString chooseTarget(const QString &title, const QString &filter, const QString &name,
                         const QString &suffix);
    void tell(bool written, const QString &path, const QString &why);

    StudyResults m_results;
    bool m_showing = false; // the tables are being filled: their edits are not the operator's

    QLineEdit *txtFolder = nullptr;
    QPushButton *cmdRead = nullptr;
    QProgressBar *prgRead = nullptr;
    QLabel *lblStatus = nullptr;
    QLineEdit *txtFilterSubject = nullptr;
    QLineEdit *txtFilterGroup = nullptr;
    QLineEdit *txtFilterDate = nullptr;
    QTableWidget *grdRuns = nullptr;
    QTableWidget *grdGroups = nullptr;
    QPushButton *cmdSaveGroups = nullptr;
    QCheckBox *chkCountStopped = nullptr;
    QTableWidget *grdGroupDays = nullptr;
    QTableWidget *grdSubjects = nullptr;
    QComboBox *cboCurveAxis = nullptr;
    QSpinBox *spnCurveDay = nullptr;
    QCheckBox *chkEachSubject = nullptr;
    QChartView *plotCurve = nullptr;
    QTableWidget *grdFaults = nullptr;
};

} // namespace velorix
