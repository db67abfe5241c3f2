// The dialogs of the experiment window's procedures without the window:
// choosing the data file of a start, and the label and experiment
// templates.

#include "statekit.h"

#include "experiment/core/datafilechoice.h"
#include "experiment/core/templatechoice.h"

#include <QDir>

#include <memory>

namespace velorix::testing {
namespace {

using Outcome = DataFileChoice::Outcome;
using Buttons = MessageRequest::Buttons;

class ChoiceTest : public SharedStateTest
{
protected:
    QString data(const char *name) const { return QDir(strDataPath).filePath(QLatin1String(name)); }
    Outcome choose(const DialogOwner &owner = {})
    {
        DataFileChoice choice(owner, record);
        choice.showName = [this](const QString &name) { shown << name; };
        return choice.choose();
    }
    DeviceInfo record;
    QStringList shown;
};

TEST_F(ChoiceTest, TheDataFileIsANewNameOrAnExistingOneToAppendTo)
{
    // A cancelled dialog: the user is told, nothing is chosen.
    EXPECT_EQ(choose(), Outcome::NoName);
    ASSERT_EQ(prompts->fileRequests.size(), 1u);
    EXPECT_EQ(prompts->fileRequests[0].initialFolder, strDataPath);
    EXPECT_EQ(prompts->texts(), QStringList({"File Access Error!"}));
    EXPECT_EQ(shown, QStringList({""}));

    // A new name, typed without ".csv".
    prompts->fileNames = {data("new")};
    EXPECT_EQ(choose(), Outcome::NewFile);
    EXPECT_EQ(record.strDataFile, data("new.csv"));
    EXPECT_EQ(record.strRawFile, data("new.raw"));
    EXPECT_EQ(shown.last(), data("new.csv"));

    // An existing file: No asks again with that name, Cancel gives up.
    const QString old = data("old.csv");
    writeFile(old, "old header\r\nold run,\r\n");
    prompts->messages.clear();
    prompts->fileNames = {old, old};
    prompts->answers = {MessageAnswer::No, MessageAnswer::Cancel};
    EXPECT_EQ(choose(), Outcome::Cancelled);
    EXPECT_EQ(prompts->fileRequests.back().initialName, old);
    EXPECT_EQ(prompts->texts(), QStringList(2, old + " Exists! Append to Existing File?"));
    EXPECT_EQ(prompts->messages[0].buttons, Buttons::YesNoCancel);
    EXPECT_EQ(record.strDataFile, QString());
    EXPECT_FALSE(QFile::exists(data("old.bak")));

    // Yes: appended to, after a backup.
    prompts->fileNames = {old};
    prompts->answers = {MessageAnswer::Yes};
    EXPECT_EQ(choose(), Outcome::Append);
    EXPECT_EQ(record.strDataFile, old);
    EXPECT_EQ(contents(data("old.bak")), QByteArray("old header\r\nold run,\r\n"));

    // A backup that cannot be made is said, with why, and the file still
    // appended to; on a full disk the old backup stays whole.
    ASSERT_TRUE(QDir(strDataPath).mkdir(QStringLiteral("folder.csv")));
    prompts->messages.clear();
    prompts->fileNames = {data("folder.csv")};
    prompts->answers = {MessageAnswer::Yes};
    EXPECT_EQ(choose(), Outcome::Append);
    ASSERT_EQ(prompts->messages.size(), 2u);
    EXPECT_TRUE(prompts->messages[1].text.startsWith("File Access Error!\nThe backup " + data("folder.bak")
                                                     + " could not be made: " + data("folder.csv")
                                                     + " cannot be read: "));
    writeFile(old, QByteArray(3000, 'r'));
    prompts->messages.clear();
    prompts->fileNames = {old};
    prompts->answers = {MessageAnswer::Yes};
    {
        FileSizeLimit full(100);
        EXPECT_EQ(choose(), Outcome::Append);
    }
    EXPECT_EQ(prompts->texts().value(1),
              "File Access Error!\nThe backup " + data("old.bak") + " could not be made: File too large");
    EXPECT_EQ(contents(data("old.bak")), QByteArray("old header\r\nold run,\r\n"));
}

TEST_F(ChoiceTest, AWindowClosedUnderADialogIsLeftAlone)
{
    writeFile(data("old.csv"), "x\r\n");
    auto window = std::make_unique<QObject>();
    const DialogOwner owner(nullptr, window.get());
    prompts->whileShown = [&](const MessageRequest &) { window.reset(); };
    prompts->fileNames = {data("old.csv")};
    prompts->answers = {MessageAnswer::Yes};
    EXPECT_EQ(choose(owner), Outcome::WindowGone);
    EXPECT_FALSE(QFile::exists(data("old.bak")));

    prompts->fileNames = {data("labels.txt")};
    LabelGrid labels;
    EXPECT_FALSE(TemplateChoice(owner, record).loadLabels(labels));
    EXPECT_FALSE(TemplateChoice(owner, record).loadExperiment());
    EXPECT_EQ(record.strTemplateFile, QString());
}

TEST_F(ChoiceTest, LabelTemplatesLoadFromTheConfigFolderAndSaveToTheDataFolder)
{
    LabelGrid labels;
    labels[0] = {"A", "B", "C", "D"};
    labels[6][3] = QStringLiteral("Z");
    TemplateChoice templates({}, record);
    prompts->fileNames = {data("saved.txt")};
    templates.saveLabels(labels);
    EXPECT_EQ(prompts->fileRequests.back().initialFolder, strDataPath);
    EXPECT_EQ(record.strTemplateFile, data("saved.txt"));

    LabelGrid loaded;
    loaded[1][1] = QStringLiteral("kept");
    prompts->fileNames = {data("saved.txt")};
    EXPECT_TRUE(templates.loadLabels(loaded));
    EXPECT_EQ(prompts->fileRequests.back().initialFolder, path("config"));
    EXPECT_EQ(loaded, labels);

    // Cancelled: the name is forgotten and the labels stay.
    EXPECT_TRUE(templates.loadLabels(loaded));
    EXPECT_EQ(record.strTemplateFile, QString());
    EXPECT_EQ(loaded, labels);
    templates.saveLabels(labels);
    EXPECT_TRUE(prompts->messages.empty());

    // A failed write says why; on a full disk the old file stays byte for byte.
    const QByteArray old = contents(data("saved.txt"));
    prompts->fileNames = {data("saved.txt")};
    labels[1][0] = QStringLiteral("new");
    {
        FileSizeLimit full(16);
        templates.saveLabels(labels);
    }
    EXPECT_EQ(contents(data("saved.txt")), old);
    ASSERT_EQ(prompts->messages.size(), 1u);
    EXPECT_EQ(boxLine(prompts->messages[0]),
              "File Error! | File Access Error!\nThe channel label template " + data("saved.txt")
                      + " could not be saved: File too large. An earlier file of that name is left as it was."
                        " | Ok, Critical");

    // A label no template can hold is refused before a name is asked for.
    prompts->messages.clear();
    const std::size_t asked = prompts->fileRequests.size();
    labels[2][1] = QStringLiteral("M1,L");
    templates.saveLabels(labels);
    EXPECT_EQ(prompts->fileRequests.size(), asked);
    EXPECT_EQ(
            boxLine(prompts->messages.at(0)),
            "Channel Label Template | The template cannot be saved: the label in row 3, column 2 holds a comma. "
            "A channel label cannot hold a comma, a line break or characters outside Latin-1: the label "
            "template separates its labels by commas. | Ok, Exclamation");

    // A line a split label may have made ("M1,L" in the second cell) is
    // read as before, and named.
    writeFile(data("old.txt"), "A,B,C,D\r\nM1,L,X,Y,Z\r\n");
    prompts->messages.clear();
    prompts->fileNames = {data("old.txt")};
    EXPECT_TRUE(templates.loadLabels(loaded));
    EXPECT_EQ(loaded[1][1], QStringLiteral("L"));
    EXPECT_EQ(prompts->texts(),
              QStringList({"Line 2 of " + data("old.txt")
                           + " is not as a saved template writes it (four labels to a line, seven "
                             "lines): a label there may have held a comma or a line break and been "
                             "split. Check the labels read from it."}));
}

TEST_F(ChoiceTest, AnExperimentTemplateSaysWhatItCouldNotUse)
{
    writeFile(data("good.csv"), "t\r\nd\r\ns\r\nf\r\n\r\nDuration:,120\r\nStart Speed:,2.5\r\n");
    writeFile(data("bad.csv"), "t\r\nd\r\ns\r\nf\r\nDuration:,120\r\nEnd Speed:,abc\r\nStart Speed:,x\r\n");
    writeFile(data("notes.csv"), "just,some\r\nnotes\r\n");
    struct Case
    {
        QString file;   // "": the dialog is cancelled
        bool showAgain; // the set-up is shown again
        QString told;   // "": nothing
    };
    const Case cases[] = {
            {data("good.csv"), true, ""},
            {data("bad.csv"), true,
             "These lines of " + data("bad.csv")
                     + " could not be used and were skipped:\nEnd Speed:,abc\nStart Speed:,x"},
            {data("notes.csv"), true, data("notes.csv") + " holds no experiment set-up."},
            {data("missing.csv"), true, "File Access Error!"},
            {"", false, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file.toStdString());
        prompts->messages.clear();
        if (!c.file.isEmpty())
            prompts->fileNames = {c.file};
        EXPECT_EQ(TemplateChoice({}, record).loadExperiment(), c.showAgain);
        EXPECT_EQ(prompts->texts(), c.told.isEmpty() ? QStringList() : QStringList({c.told}));
        EXPECT_EQ(record.strDataFile, c.file);
    }
}

} // namespace
} // namespace velorix::testing
