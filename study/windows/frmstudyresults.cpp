#include "study/windows/frmstudyresults.h"

#include "model/globals.h"
#include "model/prompter.h"
#include "study/windows/learningcurvechart.h"

#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace velorix {

namespace {

QTableWidget *makeTable(const char *name, const QStringList &headings, QWidget *parent)
{
    auto *table = new QTableWidget(0, int(headings.size()), parent);
    table->setObjectName(QLatin1String(name));
    table->setHorizontalHeaderLabels(headings);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->verticalHeader()->setVisible(false);
    table->horizontalHeader()->setStretchLastSection(true);
    // Rows stay in the study's order (by subject, then time) until a
    // heading is clicked.
    table->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    return table;
}

// A cell that sorts by its number, not its text.
QTableWidgetItem *numberItem(double value)
{
    auto *item = new QTableWidgetItem;
    item->setData(Qt::DisplayRole, value);
    return item;
}

QTableWidgetItem *textItem(const QString &text)
{
    return new QTableWidgetItem(text);
}

void fill(QTableWidget *table, int rows, const std::function<void(int row)> &row)
{
    table->setSortingEnabled(false);
    table->setRowCount(rows);
    for (int r = 0; r < rows; ++r)
        row(r);
    table->setSortingEnabled(true);
    table->resizeColumnsToContents();
}

QLineEdit *filterBox(const char *name, const QString &hint, QWidget *parent)
{
    auto *box = new QLineEdit(parent);
    box->setObjectName(QLatin1String(name));
    box->setPlaceholderText(hint);
    box->setClearButtonEnabled(true);
    return box;
}

QString figure(const std::optional<double> &value)
{
    return value ? QString::number(*value, 'f', 2) : QString();
}

} // namespace

frmStudyResults::frmStudyResults(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("frmStudyResults"));
    setWindowTitle(QStringLiteral("Study Results"));
    setAttribute(Qt::WA_DeleteOnClose);
    auto *layout = new QVBoxLayout(this);

    auto *folderRow = new QHBoxLayout;
    folderRow->addWidget(new QLabel(QStringLiteral("Folder:"), this));
    txtFolder = new QLineEdit(strDataPath, this);
    txtFolder->setObjectName(QStringLiteral("txtFolder"));
    folderRow->addWidget(txtFolder, 1);
    auto *browse = new QPushButton(QStringLiteral("Browse..."), this);
    browse->setObjectName(QStringLiteral("cmdBrowse"));
    folderRow->addWidget(browse);
    cmdRead = new QPushButton(QStringLiteral("Read"), this);
    cmdRead->setObjectName(QStringLiteral("cmdRead"));
    folderRow->addWidget(cmdRead);
    layout->addLayout(folderRow);
    connect(browse, &QPushButton::clicked, this, &frmStudyResults::cmdBrowse_Click);
    connect(cmdRead, &QPushButton::clicked, this, &frmStudyResults::cmdRead_Click);
    connect(txtFolder, &QLineEdit::returnPressed, this, &frmStudyResults::cmdRead_Click);

    auto *tabs = new QTabWidget(this);
    tabs->setObjectName(QStringLiteral("tabStudy"));
    buildRunsTab(tabs);
    buildGroupsTab(tabs);
    buildSummaryTab(tabs);
    buildCurveTab(tabs);
    buildFaultsTab(tabs);
    layout->addWidget(tabs, 1);

    auto *statusRow = new QHBoxLayout;
    lblStatus = new QLabel(this);
    lblStatus->setObjectName(QStringLiteral("lblStudyStatus"));
    statusRow->addWidget(lblStatus, 1);
    prgRead = new QProgressBar(this);
    prgRead->setObjectName(QStringLiteral("prgRead"));
    prgRead->setMaximumWidth(240);
    prgRead->hide();
    statusRow->addWidget(prgRead);
    layout->addLayout(statusRow);
}

void frmStudyResults::buildRunsTab(QTabWidget *tabs)
{
    auto *page = new QWidget(tabs);
    auto *layout = new QVBoxLayout(page);
    auto *filters = new QHBoxLayout;
    txtFilterSubject = filterBox("txtFilterSubject", QStringLiteral("Subject"), page);
    txtFilterGroup = filterBox("txtFilterGroup", QStringLiteral("Group"), page);
    txtFilterDate = filterBox("txtFilterDate", QStringLiteral("Date (2026-12-07)"), page);
    filters->addWidget(new QLabel(QStringLiteral("Show:"), page));
    for (QLineEdit *box : {txtFilterSubject, txtFilterGroup, txtFilterDate}) {
        filters->addWidget(box);
        connect(box, &QLineEdit::textChanged, this, &frmStudyResults::showRuns);
    }
    filters->addStretch(1);
    auto *exportRuns = new QPushButton(QStringLiteral("Export Runs..."), page);
    exportRuns->setObjectName(QStringLiteral("cmdExportRuns"));
    connect(exportRuns, &QPushButton::clicked, this, [this] { cmdExport_Click(false); });
    filters->addWidget(exportRuns);
    layout->addLayout(filters);
    grdRuns = makeTable("grdRuns",
                        {QStringLiteral("Subject"), QStringLiteral("Group"), QStringLiteral("Date"),
                         QStringLiteral("Day"), QStringLiteral("Trial"), QStringLiteral("Device"),
                         QStringLiteral("Address"), QStringLiteral("Ch"), QStringLiteral("Start"),
                         QStringLiteral("Latency (s)"), QStringLiteral("Speed"), QStringLiteral("Units"),
                         QStringLiteral("End"), QStringLiteral("File"), QStringLiteral("Line")},
                        page);
    layout->addWidget(grdRuns);
    tabs->addTab(page, QStringLiteral("Runs"));
}

void frmStudyResults::buildGroupsTab(QTabWidget *tabs)
{
    auto *page = new QWidget(tabs);
    auto *layout = new QVBoxLayout(page);
    layout->addWidget(
            new QLabel(QStringLiteral("Type each subject's group in its Group cell; subjects without "
                                      "one are in (none)."),
                       page));
    grdGroups = makeTable("grdGroups",
                          {QStringLiteral("Subject"), QStringLiteral("Group"), QStringLiteral("Runs")}, page);
    grdGroups->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                               | QAbstractItemView::AnyKeyPressed);
    grdGroups->setSelectionBehavior(QAbstractItemView::SelectItems);
    connect(grdGroups, &QTableWidget::itemChanged, this, &frmStudyResults::groupEdited);
    layout->addWidget(grdGroups);
    auto *row = new QHBoxLayout;
    row->addStretch(1);
    cmdSaveGroups = new QPushButton(QStringLiteral("Save Groups"), page);
    cmdSaveGroups->setObjectName(QStringLiteral("cmdSaveGroups"));
    cmdSaveGroups->setEnabled(false);
    connect(cmdSaveGroups, &QPushButton::clicked, this, &frmStudyResults::cmdSaveGroups_Click);
    row->addWidget(cmdSaveGroups);
    layout->addLayout(row);
    tabs->addTab(page, QStringLiteral("Groups"));
}

void frmStudyResults::buildSummaryTab(QTabWidget *tabs)
{
    auto *page = new QWidget(tabs);
    auto *layout = new QVBoxLayout(page);
    auto *row = new QHBoxLayout;
    chkCountStopped = new QCheckBox(
            QStringLiteral("Count runs ended by \"Stop Experiment\" or a closed window"), page);
    chkCountStopped->setObjectName(QStringLiteral("chkCountStopped"));
    connect(chkCountStopped, &QCheckBox::toggled, this, [this](bool on) {
        m_results.setCountStopped(on);
        showSummary();
        showCurve();
    });
    row->addWidget(chkCountStopped);
    row->addStretch(1);
    auto *exportSummary = new QPushButton(QStringLiteral("Export Summary..."), page);
    exportSummary->setObjectName(QStringLiteral("cmdExportSummary"));
    connect(exportSummary, &QPushButton::clicked, this, [this] { cmdExport_Click(true); });
    row->addWidget(exportSummary);
    layout->addLayout(row);
    grdGroupDays
            = makeTable("grdGroupDays",
                        {QStringLiteral("Group"), QStringLiteral("Study Day"), QStringLiteral("Subjects"),
                         QStringLiteral("Mean Latency (s)"), QStringLiteral("SEM (s)"),
                         QStringLiteral("Cut-off Runs"), QStringLiteral("Unknown End")},
                        page);
    grdSubjects = makeTable("grdSubjects",
                            {QStringLiteral("Subject"), QStringLiteral("Group"), QStringLiteral("Days"),
                             QStringLiteral("Area under Curve (s x days)"), QStringLiteral("Cut-off Runs"),
                             QStringLiteral("Unknown End")},
                            page);
    layout->addWidget(
            new QLabel(QStringLiteral("Each group's day: the mean of its subjects' daily means"), page));
    layout->addWidget(grdGroupDays, 3);
    layout->addWidget(new QLabel(QStringLiteral("Each subject's learning curve"), page));
    layout->addWidget(grdSubjects, 2);
    tabs->addTab(page, QStringLiteral("Summary"));
}

void frmStudyResults::buildCurveTab(QTabWidget *tabs)
{
    auto *page = new QWidget(tabs);
    auto *layout = new QVBoxLayout(page);
    auto *row = new QHBoxLayout;
    cboCurveAxis = new QComboBox(page);
    cboCurveAxis->setObjectName(QStringLiteral("cboCurveAxis"));
    cboCurveAxis->addItems(
            {QStringLiteral("Over study days"), QStringLiteral("Over the trials of study day")});
    spnCurveDay = new QSpinBox(page);
    spnCurveDay->setObjectName(QStringLiteral("spnCurveDay"));
    spnCurveDay->setRange(1, 1);
    spnCurveDay->setEnabled(false);
    chkEachSubject = new QCheckBox(QStringLiteral("Each subject"), page);
    chkEachSubject->setObjectName(QStringLiteral("chkEachSubject"));
    auto *png = new QPushButton(QStringLiteral("Save PNG..."), page);
    png->setObjectName(QStringLiteral("cmdSavePng"));
    auto *svg = new QPushButton(QStringLiteral("Save SVG..."), page);
    svg->setObjectName(QStringLiteral("cmdSaveSvg"));
    row->addWidget(cboCurveAxis);
    row->addWidget(spnCurveDay);
    row->addWidget(chkEachSubject);
    row->addStretch(1);
    row->addWidget(png);
    row->addWidget(svg);
    layout->addLayout(row);
    plotCurve = new QChartView(page);
    plotCurve->setObjectName(QStringLiteral("plotCurve"));
    plotCurve->setRenderHint(QPainter::Antialiasing);
    plotCurve->setMinimumSize(360, 240);
    layout->addWidget(plotCurve, 1);
    connect(cboCurveAxis, &QComboBox::currentIndexChanged, this, [this](int index) {
        spnCurveDay->setEnabled(index == 1);
        showCurve();
    });
    connect(spnCurveDay, &QSpinBox::valueChanged, this, &frmStudyResults::showCurve);
    connect(chkEachSubject, &QCheckBox::toggled, this, &frmStudyResults::showCurve);
    connect(png, &QPushButton::clicked, this, [this] { cmdSavePlot_Click(false); });
    connect(svg, &QPushButton::clicked, this, [this] { cmdSavePlot_Click(true); });
    tabs->addTab(page, QStringLiteral("Learning Curve"));
}

void frmStudyResults::buildFaultsTab(QTabWidget *tabs)
{
    grdFaults = makeTable("grdFaults",
                          {QStringLiteral("File"), QStringLiteral("Line"), QStringLiteral("Fault")}, tabs);
    tabs->addTab(grdFaults, QStringLiteral("Faults"));
}

void frmStudyResults::load()
{
    // Shown first, then read, so that the progress bar has a window to be in.
    QTimer::singleShot(0, this, &frmStudyResults::cmdRead_Click);
}

void frmStudyResults::cmdBrowse_Click()
{
    FileRequest request;
    request.kind = FileRequest::Kind::Folder;
    request.title = QStringLiteral("Study Folder");
    request.initialFolder = txtFolder->text();
    const QString folder = prompter().fileName(this, request);
    if (folder.isEmpty())
        return;
    txtFolder->setText(QDir::toNativeSeparators(folder));
    cmdRead_Click();
}

void frmStudyResults::cmdRead_Click()
{
    readFolder(QDir::fromNativeSeparators(txtFolder->text().trimmed()));
}

void frmStudyResults::readFolder(const QString &folder)
{
    if (m_results.groupsChanged()) {
        const MessageAnswer save = prompter().message(
                this,
                {QStringLiteral("The groups have changed. Save them to %1 before reading again?")
                         .arg(StudyGroups::fileIn(m_results.folder())),
                 QStringLiteral("Study Results"), MessageRequest::Buttons::YesNoCancel,
                 MessageRequest::Icon::Question});
        if (save == MessageAnswer::Cancel)
            return;
        if (save == MessageAnswer::Yes)
            cmdSaveGroups_Click();
    }
    if (!QFileInfo(folder).isDir()) {
        lblStatus->setText(QStringLiteral("There is no folder %1.").arg(QDir::toNativeSeparators(folder)));
        return;
    }
    cmdRead->setEnabled(false);
    prgRead->setValue(0);
    prgRead->show();
    m_results.read(folder, [this](int done, int total) {
        prgRead->setMaximum(total);
        prgRead->setValue(done);
        // Painted as it goes; nothing the operator does meanwhile is taken.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        return true;
    });
    prgRead->hide();
    cmdRead->setEnabled(true);
    spnCurveDay->setRange(1, std::max(1, lastStudyDay(m_results.summary())));
    showAll();
}

void frmStudyResults::showAll()
{
    lblStatus->setText(m_results.statusText());
    cmdSaveGroups->setEnabled(m_results.groupsChanged());
    showRuns();
    showGroups();
    showSummary();
    showCurve();
    showFaults();
}

void frmStudyResults::showRuns()
{
    const std::vector<const StudyRun *> runs = m_results.runs(
            RunFilter{txtFilterSubject->text(), txtFilterGroup->text(), txtFilterDate->text()});
    fill(grdRuns, int(runs.size()), [this, &runs](int r) {
        const StudyRun &run = *runs[std::size_t(r)];
        QTableWidgetItem *cells[] = {textItem(run.subject),
                                     textItem(run.group),
                                     textItem(run.start.toString(QStringLiteral("yyyy-MM-dd"))),
                                     numberItem(run.studyDay),
                                     numberItem(run.trial),
                                     numberItem(run.deviceNumber),
                                     numberItem(run.address),
                                     numberItem(run.channel),
                                     textItem(run.start.toString(QStringLiteral("HH:mm:ss"))),
                                     numberItem(run.latency),
                                     numberItem(run.speed),
                                     textItem(run.units),
                                     textItem(runEndText(run.end)),
                                     textItem(run.file),
                                     numberItem(run.line)};
        for (int c = 0; c < int(std::size(cells)); ++c)
            grdRuns->setItem(r, c, cells[c]);
    });
}

void frmStudyResults::showGroups()
{
    const QStringList subjects = m_results.subjects();
    std::map<QString, int> runCounts;
    for (const StudyRun &run : m_results.runs())
        ++runCounts[run.subject];
    m_showing = true;
    fill(grdGroups, int(subjects.size()), [&](int r) {
        auto *subject = textItem(subjects[r]);
        subject->setFlags(subject->flags() & ~Qt::ItemIsEditable);
        grdGroups->setItem(r, 0, subject);
        grdGroups->setItem(r, 1, textItem(m_results.groups().groupOf(subjects[r])));
        auto *count = numberItem(runCounts[subjects[r]]);
        count->setFlags(count->flags() & ~Qt::ItemIsEditable);
        grdGroups->setItem(r, 2, count);
    });
    m_showing = false;
}

void frmStudyResults::groupEdited(QTableWidgetItem *item)
{
    // The row is looked up now: a sorted table moves an edited row.
    const QTableWidgetItem *subjectItem = item ? grdGroups->item(item->row(), 0) : nullptr;
    if (m_showing || !subjectItem || item->column() != 1)
        return;
    const QString subject = subjectItem->text();
    m_results.setGroup(subject, item->text());
    // The cell shows what the subject's group is now ("(none)" for an empty one).
    m_showing = true;
    item->setText(m_results.groups().groupOf(subject));
    m_showing = false;
    cmdSaveGroups->setEnabled(m_results.groupsChanged());
    showRuns();
    showSummary();
    showCurve();
}

void frmStudyResults::cmdSaveGroups_Click()
{
    QString why;
    const bool saved = m_results.saveGroups(&why);
    tell(saved, StudyGroups::fileIn(m_results.folder()), why);
    cmdSaveGroups->setEnabled(m_results.groupsChanged());
}

void frmStudyResults::showSummary()
{
    const StudySummary &summary = m_results.summary();
    fill(grdGroupDays, int(summary.groupDays.size()), [&](int r) {
        const GroupPoint &point = summary.groupDays[std::size_t(r)];
        grdGroupDays->setItem(r, 0, textItem(point.group));
        grdGroupDays->setItem(r, 1, numberItem(point.studyDay));
        grdGroupDays->setItem(r, 2, numberItem(point.subjects));
        grdGroupDays->setItem(r, 3, textItem(figure(point.mean)));
        grdGroupDays->setItem(r, 4, textItem(figure(point.sem)));
        grdGroupDays->setItem(r, 5, numberItem(point.ends.cutOff));
        grdGroupDays->setItem(r, 6, numberItem(point.ends.unknown));
    });
    fill(grdSubjects, int(summary.subjects.size()), [&](int r) {
        const SubjectCurve &curve = summary.subjects[std::size_t(r)];
        grdSubjects->setItem(r, 0, textItem(curve.subject));
        grdSubjects->setItem(r, 1, textItem(curve.group));
        grdSubjects->setItem(r, 2, numberItem(curve.days));
        grdSubjects->setItem(r, 3, textItem(figure(curve.area)));
        grdSubjects->setItem(r, 4, numberItem(curve.ends.cutOff));
        grdSubjects->setItem(r, 5, numberItem(curve.ends.unknown));
    });
}

CurveChoice frmStudyResults::curveChoice() const
{
    CurveChoice choice;
    choice.axis = cboCurveAxis->currentIndex() == 1 ? CurveAxis::TrialsOfDay : CurveAxis::StudyDays;
    choice.day = spnCurveDay->value();
    choice.eachSubject = chkEachSubject->isChecked();
    return choice;
}

void frmStudyResults::showCurve()
{
    const CurveChoice choice = curveChoice();
    QChart *old = plotCurve->chart();
    plotCurve->setChart(makeLearningCurveChart(
            learningCurves(m_results.summary(), m_results.runs(), choice, m_results.options()),
            curveAxisTitle(choice)));
    delete old;
}

void frmStudyResults::showFaults()
{
    const std::vector<FileFault> &faults = m_results.faults();
    fill(grdFaults, int(faults.size()), [&](int r) {
        const FileFault &fault = faults[std::size_t(r)];
        grdFaults->setItem(r, 0, textItem(QDir::toNativeSeparators(fault.file)));
        grdFaults->setItem(r, 1, fault.line > 0 ? numberItem(fault.line) : textItem(QString()));
        grdFaults->setItem(r, 2, textItem(fault.text));
    });
}

QString frmStudyResults::chooseTarget(const QString &title, const QString &filter, const QString &name,
                                      const QString &suffix)
{
    FileRequest request;
    request.kind = FileRequest::Kind::Save;
    request.title = title;
    request.filter = filter;
    request.initialFolder = m_results.folder();
    request.initialName = name;
    request.defaultSuffix = suffix;
    QString path = prompter().fileName(this, request);
    if (path.isEmpty())
        return {};
    if (!path.endsWith(QLatin1Char('.') + suffix, Qt::CaseInsensitive))
        path += QLatin1Char('.') + suffix;
    if (QFileInfo::exists(path)
        && prompter().message(this,
                              {QDir::toNativeSeparators(path) + QStringLiteral(" exists. Replace it?"), title,
                               MessageRequest::Buttons::YesNo, MessageRequest::Icon::Question, true})
                != MessageAnswer::Yes)
        return {};
    return path;
}

void frmStudyResults::cmdExport_Click(bool summary)
{
    const QString path = summary
            ? chooseTarget(QStringLiteral("Export Summary"), QStringLiteral("CSV (*.csv)|*.csv"),
                           QStringLiteral("summary.csv"), QStringLiteral("csv"))
            : chooseTarget(QStringLiteral("Export Runs"), QStringLiteral("CSV (*.csv)|*.csv"),
                           QStringLiteral("runs.csv"), QStringLiteral("csv"));
    if (path.isEmpty())
        return;
    QString why;
    tell(summary ? m_results.exportSummary(path, &why) : m_results.exportRuns(path, &why), path, why);
}

void frmStudyResults::cmdSavePlot_Click(bool svg)
{
    const QString suffix = svg ? QStringLiteral("svg") : QStringLiteral("png");
    const QString path = chooseTarget(QStringLiteral("Save Learning Curve"),
                                      svg ? QStringLiteral("SVG Image (*.svg)|*.svg")
                                          : QStringLiteral("PNG Image (*.png)|*.png"),
                                      QStringLiteral("learning-curve.") + suffix, suffix);
    if (path.isEmpty())
        return;
    const CurveChoice choice = curveChoice();
    QString why;
    tell(saveLearningCurve(learningCurves(m_results.summary(), m_results.runs(), choice, m_results.options()),
                           curveAxisTitle(choice), path, &why),
         path, why);
}

void frmStudyResults::tell(bool written, const QString &path, const QString &why)
{
    if (written) {
        lblStatus->setText(QStringLiteral("Written: %1").arg(QDir::toNativeSeparators(path)));
        return;
    }
    prompter().message(this,
                       {QStringLiteral("%1 was not written: %2").arg(QDir::toNativeSeparators(path), why),
                        QStringLiteral("Study Results"), MessageRequest::Buttons::Ok,
                        MessageRequest::Icon::Exclamation});
}

void frmStudyResults::closeEvent(QCloseEvent *event)
{
    if (m_results.groupsChanged()) {
        const MessageAnswer save = prompter().message(
                this,
                {QStringLiteral("The groups have changed. Save them to %1?")
                         .arg(QDir::toNativeSeparators(StudyGroups::fileIn(m_results.folder()))),
                 QStringLiteral("Study Results"), MessageRequest::Buttons::YesNoCancel,
                 MessageRequest::Icon::Question});
        if (save == MessageAnswer::Cancel) {
            event->ignore();
            return;
        }
        if (save == MessageAnswer::Yes) {
            QString why;
            if (!m_results.saveGroups(&why)) {
                tell(false, StudyGroups::fileIn(m_results.folder()), why);
                event->ignore();
                return;
            }
        }
    }
    event->accept();
}

} // namespace velorix
