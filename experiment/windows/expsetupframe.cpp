#include "experiment/windows/expsetupframe.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace velorix {

namespace {

QLabel *unitLabel(QWidget *parent, const QString &name, const QString &text)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(name);
    return label;
}

} // namespace

ExpSetupFrame::ExpSetupFrame(QWidget *parent) : QGroupBox(QStringLiteral("Experiment Setup"), parent)
{
    setObjectName(QStringLiteral("frmexpsetup"));
    m_grid = new QGridLayout;
    m_grid->setHorizontalSpacing(6);
    m_grid->setVerticalSpacing(3);

    for (int i : {0, 1, 3})
        Label5[i] = unitLabel(this, QStringLiteral("Label5(%1)").arg(i), QStringLiteral("RPM"));
    const auto seconds = [this] { return new QLabel(QStringLiteral("seconds"), this); };

    txts_speed = addBox("txts_speed", QStringLiteral("Start Speed"), Label5[0], 0);
    txte_speed = addBox("txte_speed", QStringLiteral("Max Speed"), Label5[1], 1);
    txtacc_time = addBox("txtacc_time", QStringLiteral("Acc Int"), seconds(), 2);
    txtacc_step = addBox("txtacc_step", QStringLiteral("Acc Step"), Label5[3], 3);
    txtduration = addBox("txtduration", QStringLiteral("Duration"), seconds(), 4);
    txtrot_delay = addBox("txtrot_delay", QStringLiteral("Rot Delay"), seconds(), 5);
    txtdir = addBox("txtdir", QStringLiteral("Rocking Int"), seconds(), 6);
    txtdir->setText(QStringLiteral("0"));

    auto *units = new QButtonGroup(this);
    optrpmspeed[0] = new QRadioButton(QStringLiteral("Speed in RPM"), this);
    optrpmspeed[1] = new QRadioButton(QStringLiteral("Speed in cm/s"), this);
    auto *wheels = new QButtonGroup(this);
    optwheel[1] = new QRadioButton(QStringLiteral("Mouse Wheel"), this);
    optwheel[0] = new QRadioButton(QStringLiteral("Rat Wheel"), this);
    for (int i = 0; i < 2; ++i) {
        optrpmspeed[i]->setObjectName(QStringLiteral("optrpmspeed(%1)").arg(i));
        optwheel[i]->setObjectName(QStringLiteral("optwheel(%1)").arg(i));
        units->addButton(optrpmspeed[i]);
        wheels->addButton(optwheel[i]);
    }
    optrpmspeed[0]->setChecked(true);
    optwheel[1]->setChecked(true);
    optdir = new QCheckBox(QStringLiteral("Rotate CCW"), this);
    optdir->setObjectName(QStringLiteral("optdir"));

    auto *options = new QGridLayout;
    options->setVerticalSpacing(0);
    options->addWidget(optrpmspeed[0], 0, 0);
    options->addWidget(optrpmspeed[1], 1, 0);
    options->addWidget(optwheel[1], 0, 1);
    options->addWidget(optwheel[0], 1, 1);
    options->addWidget(optdir, 2, 0);

    cmdupload = new QPushButton(QStringLiteral("Upload"), this);
    cmdupload->setObjectName(QStringLiteral("cmdupload"));
    cmddownload = new QPushButton(QStringLiteral("Download"), this);
    cmddownload->setObjectName(QStringLiteral("cmddownload"));
    connect(cmdupload, &QPushButton::clicked, this, &ExpSetupFrame::uploadClicked);
    connect(cmddownload, &QPushButton::clicked, this, &ExpSetupFrame::downloadClicked);
    auto *transfer = new QHBoxLayout;
    transfer->addWidget(cmdupload);
    transfer->addWidget(cmddownload);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 4, 6, 6);
    layout->addLayout(m_grid);
    layout->addLayout(options);
    layout->addLayout(transfer);
    layout->addStretch();
}

QLineEdit *ExpSetupFrame::addBox(const char *name, const QString &caption, QLabel *unit, int row)
{
    auto *label = new QLabel(caption, this);
    auto *box = new QLineEdit(this);
    box->setObjectName(QLatin1String(name));
    box->setFixedWidth(box->fontMetrics().horizontalAdvance(QStringLiteral("00000.0")) + 12);
    label->setBuddy(box);
    m_grid->addWidget(label, row, 0);
    m_grid->addWidget(box, row, 1);
    m_grid->addWidget(unit, row, 2);
    return box;
}

SetupTexts ExpSetupFrame::texts() const
{
    SetupTexts texts;
    texts.startSpeed = txts_speed->text();
    texts.endSpeed = txte_speed->text();
    texts.accInterval = txtacc_time->text();
    texts.accStep = txtacc_step->text();
    texts.duration = txtduration->text();
    texts.rotDelay = txtrot_delay->text();
    texts.rockInterval = txtdir->text();
    texts.rpm = optrpmspeed[0]->isChecked();
    texts.mouseWheel = optwheel[1]->isChecked();
    texts.ccw = optdir->isChecked();
    return texts;
}

void ExpSetupFrame::showTexts(const SetupTexts &texts)
{
    // A box already showing its text is left alone, cursor and all.
    const auto show = [](QLineEdit *box, const QString &text) {
        if (box->text() != text)
            box->setText(text);
    };
    show(txtduration, texts.duration);
    show(txts_speed, texts.startSpeed);
    show(txte_speed, texts.endSpeed);
    show(txtacc_step, texts.accStep);
    show(txtrot_delay, texts.rotDelay);
    show(txtacc_time, texts.accInterval);
    show(txtdir, texts.rockInterval);
    optrpmspeed[texts.rpm ? 0 : 1]->setChecked(true);
    optwheel[texts.mouseWheel ? 1 : 0]->setChecked(true);
    optdir->setChecked(texts.ccw);
}

void ExpSetupFrame::setUnits(const QString &units)
{
    for (int i : {0, 1, 3})
        Label5[i]->setText(units);
}

void ExpSetupFrame::setTransferButtonsEnabled(bool enabled)
{
    cmdupload->setEnabled(enabled);
    cmddownload->setEnabled(enabled);
}

} // namespace velorix
