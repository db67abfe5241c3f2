#include "experiment/windows/calcframe.h"

#include "experiment/core/speedtrace.h"
#include "experiment/windows/speedplot.h"
#include "experiment/windows/namedbutton.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace velorix {

namespace {

// The straight ramp that was asked for: the start speed to the end speed
// over the period.
QList<QPointF> askedRamp(const RampPlan &plan)
{
    return {QPointF(0, plan.startSpeed), QPointF(plan.duration, plan.endSpeed)};
}

QLineEdit *input(QWidget *parent, const char *name, const QString &text)
{
    auto *box = new QLineEdit(text, parent);
    box->setObjectName(QLatin1String(name));
    box->setFixedWidth(box->fontMetrics().horizontalAdvance(QStringLiteral("00000.0")) + 12);
    return box;
}

QLabel *result(QWidget *parent, const char *name, const QString &text)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setFrameShape(QFrame::Panel);
    label->setFrameShadow(QFrame::Sunken);
    label->setMinimumWidth(label->fontMetrics().horizontalAdvance(QStringLiteral("Error 100.0%")) + 8);
    return label;
}

} // namespace

CalcFrame::CalcFrame(QWidget *parent) : FloatingFrame(QStringLiteral("Acceleration Calculator"), parent)
{
    setObjectName(QStringLiteral("frmcalcacc"));

    const AccelInputs initial;
    const AccelLabels blank;
    txtStart_SP = input(this, "txtStart_SP", initial.startSpeed);
    txtEnd_SP = input(this, "txtEnd_SP", initial.endSpeed);
    txtPeriod = input(this, "txtPeriod", initial.period);
    txtMAX = input(this, "txtMAX", initial.maxInterval);
    lblSP = result(this, "lblSP", blank.lblSP);
    lblES = result(this, "lblES", blank.lblES);
    lblpr = result(this, "lblpr", blank.lblpr);
    lblAcc_int = result(this, "lblAcc_int", blank.lblAcc_int);
    lblAcc_Step = result(this, "lblAcc_Step", blank.lblAcc_Step);
    lblerror = result(this, "lblerror", blank.lblerror);

    auto *heading = new QLabel(QStringLiteral("Enter Start Speed, End Speed and Duration"), this);
    auto *grid = new QGridLayout;
    grid->setVerticalSpacing(3);
    const auto row = [&](int at, const QString &caption, QLineEdit *box, const QString &unit, QLabel *out) {
        grid->addWidget(new QLabel(caption, this), at, 0);
        grid->addWidget(box, at, 1);
        if (!unit.isEmpty())
            grid->addWidget(new QLabel(unit, this), at, 2);
        grid->addWidget(out, at, 3);
    };
    row(0, QStringLiteral("Enter Start Speed"), txtStart_SP, QStringLiteral("RPM"), lblSP);
    row(1, QStringLiteral("Enter End Speed"), txtEnd_SP, QStringLiteral("RPM"), lblES);
    row(2, QStringLiteral("Period(seconds)"), txtPeriod, QStringLiteral("sec"), lblpr);
    row(3, QStringLiteral("Max Acc_Int(sec)"), txtMAX, QString(), lblerror);
    grid->addWidget(new QLabel(QStringLiteral("Acc Int"), this), 4, 2, Qt::AlignRight);
    grid->addWidget(lblAcc_int, 4, 3);
    grid->addWidget(new QLabel(QStringLiteral("Acc Step"), this), 5, 2, Qt::AlignRight);
    grid->addWidget(lblAcc_Step, 5, 3);

    auto *cmdCalc = namedButton(this, "cmdCalc", QStringLiteral("Calculate "));
    cmdupdate = namedButton(this, "cmdupdate", QStringLiteral("Update Values"));
    auto *cmdexit = namedButton(this, "cmdexit", QStringLiteral("Exit"));
    connect(cmdCalc, &QPushButton::clicked, this, &CalcFrame::calculateClicked);
    connect(cmdupdate, &QPushButton::clicked, this, &CalcFrame::updateClicked);
    connect(cmdexit, &QPushButton::clicked, this, &QWidget::hide);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(cmdCalc);
    buttons->addWidget(cmdupdate);
    buttons->addWidget(cmdexit);

    auto *form = new QVBoxLayout;
    form->addWidget(heading);
    form->addLayout(grid);
    form->addLayout(buttons);
    form->addStretch();

    m_plot = new SpeedPlot(SpeedPlot::Kind::Calculator, this);
    // Before a calculation: the ramp that is asked for.
    m_plot->showRamp({}, askedRamp(rampPlanOf(initial, blank)));
    auto *layout = new QHBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_plot, 1);
    // Never smaller than its contents: captions and results keep their text.
    layout->setSizeConstraint(QLayout::SetMinimumSize);
}

AccelInputs CalcFrame::inputs() const
{
    AccelInputs in;
    in.startSpeed = txtStart_SP->text();
    in.endSpeed = txtEnd_SP->text();
    in.period = txtPeriod->text();
    in.maxInterval = txtMAX->text();
    return in;
}

AccelLabels CalcFrame::labels() const
{
    AccelLabels out;
    out.lblSP = lblSP->text();
    out.lblES = lblES->text();
    out.lblpr = lblpr->text();
    out.lblAcc_int = lblAcc_int->text();
    out.lblAcc_Step = lblAcc_Step->text();
    out.lblerror = lblerror->text();
    return out;
}

void CalcFrame::showLabels(const AccelLabels &labels)
{
    lblSP->setText(labels.lblSP);
    lblES->setText(labels.lblES);
    lblpr->setText(labels.lblpr);
    lblAcc_int->setText(labels.lblAcc_int);
    lblAcc_Step->setText(labels.lblAcc_Step);
    lblerror->setText(labels.lblerror);

    // The ramp these values give on the device, beside the straight one asked for.
    const RampPlan plan = rampPlanOf(inputs(), labels);
    m_plot->showRamp(rampPoints(plan), askedRamp(plan));
}

void CalcFrame::setUpdateEnabled(bool enabled)
{
    cmdupdate->setEnabled(enabled);
}

} // namespace velorix
