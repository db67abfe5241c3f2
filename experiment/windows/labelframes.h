#pragma once

// The small frames of the experiment window that handle subject IDs: the
// channel-label frame `frmch_id` (a 7 by 4 grid of labels with its in-cell
// editor and template buttons), the "Select Channel" frame `frmchan_sel`,
// and the subject-ID frame `frmchanupdate`. They float over the window,
// hidden until asked for.

#include "experiment/core/exptemplates.h"
#include "experiment/core/subjectlist.h"

#include "experiment/windows/floatingframe.h"

#include <array>

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTableWidget;

namespace velorix {

class LabelFrame final : public FloatingFrame
{
    Q_OBJECT
public:
    explicit LabelFrame(QWidget *parent = nullptr);

    // 4 columns by 7 rows, 1750 twips wide each; the labels stay.
    void inichangrid();
    [[nodiscard]] LabelGrid labels() const;
    void setLabels(const LabelGrid &labels);
    [[nodiscard]] QString currentLabel() const;

    // Opens the in-cell editor for a key typed on the grid: a printable
    // character (above 32, or a negative code) starts a new text with it,
    // any other code edits the cell's text. A character no label can hold
    // (a comma, outside Latin-1) opens nothing and the grid says why; the
    // editor, like the subject-ID box, refuses such characters typed or
    // pasted.
    void GridEdit(int KeyAscii);
    [[nodiscard]] bool isEditing() const;
    [[nodiscard]] QTableWidget *grid() const { return changrid; }
    [[nodiscard]] QLineEdit *editor() const { return Text1; }

signals:
    void loadClicked();
    void saveClicked();
    // A label was double-clicked: choose its channel.
    void channelChoiceRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The editor's text goes to a cell and the editor hides.
    void storeEditor(int row, int column);
    bool editorKey(int key);

    QTableWidget *changrid = nullptr;
    QLineEdit *Text1 = nullptr;
    QPushButton *cmdch_load = nullptr;
    QPushButton *cmdch_save = nullptr;
    QPushButton *cmdhide_ch_id = nullptr;
};

class ChannelSelectFrame final : public FloatingFrame
{
    Q_OBJECT
public:
    explicit ChannelSelectFrame(QWidget *parent = nullptr);
    [[nodiscard]] int selectedChannel() const;

signals:
    void assignClicked(int channel);

private:
    std::array<QRadioButton *, 4> optchan{};
};

class SubjectIdFrame final : public FloatingFrame
{
    Q_OBJECT
public:
    explicit SubjectIdFrame(QWidget *parent = nullptr);
    // Shows the channel's ID and puts the caret into the box.
    void edit(const QString &id);
    // Hands on an ID typed but not yet confirmed (idTyped), before the
    // frame turns to another channel.
    void commitPending();

signals:
    // "OK" or Enter: the ID is confirmed and the frame is done.
    void okClicked(const QString &id);
    // The box was left with a typed ID: it is kept, the frame stays.
    void idTyped(const QString &id);

private:
    QLineEdit *txtchanid = nullptr;
};

} // namespace velorix
