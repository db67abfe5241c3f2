#include "experiment/windows/labelframes.h"

#include "experiment/windows/resultsgrid.h"
#include "model/fieldtext.h"
#include "experiment/windows/namedbutton.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QToolTip>
#include <QVBoxLayout>
#include <QValidator>

namespace velorix {

namespace {

// Why a character was not taken, shown at the box it was meant for.
void tellRefused(QWidget *box, FieldKind kind)
{
    QToolTip::showText(box->mapToGlobal(QPoint(0, box->height())), fieldTextRule(kind), box);
}

// A box takes nothing the program's files cannot hold (model/fieldtext.h):
// a key or a paste that would put such a character in is refused whole,
// and the box says why.
class FieldTextValidator final : public QValidator
{
public:
    FieldTextValidator(FieldKind kind, QLineEdit *box) : QValidator(box), m_kind(kind), m_box(box) {}

    State validate(QString &input, int &) const override
    {
        if (fieldTextProblem(input).isEmpty())
            return Acceptable;
        tellRefused(m_box, m_kind);
        return Invalid;
    }

private:
    FieldKind m_kind;
    QLineEdit *m_box;
};

void guardFieldText(QLineEdit *box, FieldKind kind)
{
    box->setValidator(new FieldTextValidator(kind, box));
    box->setToolTip(fieldTextRule(kind));
}

} // namespace

LabelFrame::LabelFrame(QWidget *parent) : FloatingFrame(QStringLiteral("Channel Labels"), parent)
{
    setObjectName(QStringLiteral("frmch_id"));

    auto *hint = new QLabel(QStringLiteral("DBLClick on Channel Label to assign Channel Number"), this);
    changrid = new QTableWidget(this);
    changrid->setObjectName(QStringLiteral("changrid"));
    changrid->horizontalHeader()->setVisible(false);
    changrid->verticalHeader()->setVisible(false);
    // Editing goes through the window's own editor, laid over the cell.
    changrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    changrid->setSelectionMode(QAbstractItemView::SingleSelection);
    changrid->installEventFilter(this);
    connect(changrid, &QTableWidget::cellDoubleClicked, this, &LabelFrame::channelChoiceRequested);
    connect(changrid, &QTableWidget::currentCellChanged, this,
            [this](int, int, int previousRow, int previousColumn) {
                if (Text1->isVisible())
                    storeEditor(previousRow, previousColumn);
            });

    Text1 = new QLineEdit(this);
    Text1->setObjectName(QStringLiteral("Text1"));
    guardFieldText(Text1, FieldKind::ChannelLabel);
    Text1->hide();
    Text1->installEventFilter(this);

    cmdch_load = namedButton(this, "cmdch_load", QStringLiteral("Load Template"));
    cmdch_save = namedButton(this, "cmdch_save", QStringLiteral("Save Template"));
    cmdhide_ch_id = namedButton(this, "cmdhide_ch_id", QStringLiteral("Exit "));
    connect(cmdch_load, &QPushButton::clicked, this, &LabelFrame::loadClicked);
    connect(cmdch_save, &QPushButton::clicked, this, &LabelFrame::saveClicked);
    connect(cmdhide_ch_id, &QPushButton::clicked, this, &QWidget::hide);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(cmdch_load);
    buttons->addWidget(cmdch_save);
    buttons->addStretch();
    buttons->addWidget(cmdhide_ch_id);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(hint);
    layout->addWidget(changrid);
    layout->addLayout(buttons);
    inichangrid();
}

void LabelFrame::inichangrid()
{
    changrid->setRowCount(kLabelRows);
    changrid->setColumnCount(kLabelColumns);
    const int width = twipsToPixels(this, 1750);
    for (int column = 0; column < kLabelColumns; ++column)
        changrid->setColumnWidth(column, width);
    for (int row = 0; row < kLabelRows; ++row) {
        for (int column = 0; column < kLabelColumns; ++column) {
            if (!changrid->item(row, column))
                changrid->setItem(row, column, new QTableWidgetItem);
        }
    }
    const int rowHeight = changrid->verticalHeader()->defaultSectionSize();
    changrid->setFixedSize(width * kLabelColumns + 2 * changrid->frameWidth(),
                           rowHeight * kLabelRows + 2 * changrid->frameWidth());
}

LabelGrid LabelFrame::labels() const
{
    LabelGrid labels;
    for (int row = 0; row < kLabelRows; ++row) {
        for (int column = 0; column < kLabelColumns; ++column) {
            const QTableWidgetItem *cell = changrid->item(row, column);
            labels[row][column] = cell ? cell->text() : QString();
        }
    }
    return labels;
}

void LabelFrame::setLabels(const LabelGrid &labels)
{
    for (int row = 0; row < kLabelRows; ++row) {
        for (int column = 0; column < kLabelColumns; ++column)
            changrid->item(row, column)->setText(labels[row][column]);
    }
}

QString LabelFrame::currentLabel() const
{
    const QTableWidgetItem *cell = changrid->currentItem();
    return cell ? cell->text() : QString();
}

bool LabelFrame::isEditing() const
{
    return Text1->isVisible();
}

void LabelFrame::GridEdit(int KeyAscii)
{
    int row = changrid->currentRow();
    int column = changrid->currentColumn();
    if (row < 0 || column < 0) {
        row = column = 0;
        changrid->setCurrentCell(0, 0);
    }
    const QChar typed(static_cast<char16_t>(KeyAscii));
    if ((KeyAscii > 32 || KeyAscii < 0) && !isFieldCharacter(typed)) {
        // Not even a start: a label cannot hold it.
        tellRefused(changrid, FieldKind::ChannelLabel);
        return;
    }
    if (KeyAscii > 32 || KeyAscii < 0)
        Text1->setText(QString(typed));
    else
        Text1->setText(changrid->item(row, column)->text());
    Text1->setCursorPosition(int(Text1->text().size()));
    const QRect cell = changrid->visualItemRect(changrid->item(row, column));
    const QPoint topLeft = changrid->viewport()->mapTo(this, cell.topLeft());
    Text1->setGeometry(QRect(topLeft, cell.size()));
    Text1->show();
    Text1->raise();
    Text1->setFocus();
}

void LabelFrame::storeEditor(int row, int column)
{
    if (row >= 0 && column >= 0 && changrid->item(row, column))
        changrid->item(row, column)->setText(Text1->text());
    Text1->hide();
}

bool LabelFrame::editorKey(int key)
{
    const int row = changrid->currentRow();
    switch (key) {
    case Qt::Key_Escape:
        Text1->hide();
        changrid->setFocus();
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        storeEditor(row, changrid->currentColumn());
        changrid->setFocus();
        return true;
    case Qt::Key_Down:
    case Qt::Key_Up: {
        storeEditor(row, changrid->currentColumn());
        changrid->setFocus();
        QPointer<LabelFrame> self(this);
        QApplication::processEvents();
        if (!self)
            return true;
        const int next = key == Qt::Key_Down ? row + 1 : row - 1;
        if (next >= 0 && next < changrid->rowCount())
            changrid->setCurrentCell(next, changrid->currentColumn());
        return true;
    }
    default: break;
    }
    return false;
}

bool LabelFrame::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Text1 && event->type() == QEvent::KeyPress)
        return editorKey(static_cast<QKeyEvent *>(event)->key());
    if (watched == changrid) {
        if (event->type() == QEvent::FocusIn && Text1->isVisible())
            storeEditor(changrid->currentRow(), changrid->currentColumn());
        if (event->type() == QEvent::KeyPress) {
            const auto *key = static_cast<QKeyEvent *>(event);
            if (!key->text().isEmpty() && key->key() != Qt::Key_Tab && key->key() != Qt::Key_Backtab) {
                GridEdit(static_cast<std::int16_t>(key->text().at(0).unicode()));
                return true;
            }
        }
    }
    return FloatingFrame::eventFilter(watched, event);
}

ChannelSelectFrame::ChannelSelectFrame(QWidget *parent)
    : FloatingFrame(QStringLiteral("Select Channel"), parent)
{
    setObjectName(QStringLiteral("frmchan_sel"));
    auto *layout = new QVBoxLayout(this);
    for (int c = 0; c < 4; ++c) {
        optchan[c] = new QRadioButton(QStringLiteral("Channel %1").arg(c + 1), this);
        optchan[c]->setObjectName(QStringLiteral("optchan(%1)").arg(c));
        layout->addWidget(optchan[c]);
    }
    optchan[0]->setChecked(true);
    auto *assign = namedButton(this, "cmdch_set", QStringLiteral("Assign"));
    connect(assign, &QPushButton::clicked, this, [this] { emit assignClicked(selectedChannel()); });
    layout->addWidget(assign);
}

int ChannelSelectFrame::selectedChannel() const
{
    for (int c = 0; c < 4; ++c) {
        if (optchan[c]->isChecked())
            return c;
    }
    return 0;
}

SubjectIdFrame::SubjectIdFrame(QWidget *parent) : FloatingFrame(QString(), parent)
{
    setObjectName(QStringLiteral("frmchanupdate"));
    txtchanid = new QLineEdit(this);
    txtchanid->setObjectName(QStringLiteral("txtchanid"));
    txtchanid->setMaxLength(SubjectList::kIdLength);
    guardFieldText(txtchanid, FieldKind::SubjectId);
    auto *ok = namedButton(this, "cmdok", QStringLiteral("OK"));
    const auto confirm = [this] {
        txtchanid->setModified(false);
        emit okClicked(txtchanid->text());
    };
    connect(ok, &QPushButton::clicked, this, confirm);
    connect(txtchanid, &QLineEdit::returnPressed, this, confirm);
    // Leaving the box (a click on another channel's ID, say) keeps what was
    // typed, as Enter does; the frame stays for more typing.
    connect(txtchanid, &QLineEdit::editingFinished, this, &SubjectIdFrame::commitPending);
    auto *row = new QHBoxLayout;
    row->addWidget(txtchanid);
    row->addWidget(ok);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Enter Channel ID# 8 (Characters Max)"), this));
    layout->addLayout(row);
}

void SubjectIdFrame::commitPending()
{
    if (!isVisible() || !txtchanid->isModified())
        return;
    txtchanid->setModified(false);
    emit idTyped(txtchanid->text());
}

void SubjectIdFrame::edit(const QString &id)
{
    // An ID longer than the box holds (the default "Channel 1") is not cut
    // to another one that OK would give every channel ("Channel "): the box
    // opens empty with the ID greyed in it, and OK on it keeps the default.
    const bool fits = id.size() <= txtchanid->maxLength();
    txtchanid->setText(fits ? id : QString());
    txtchanid->setPlaceholderText(fits ? QString() : id);
    show();
    raise();
    txtchanid->setFocus();
    txtchanid->selectAll();
}

} // namespace velorix
