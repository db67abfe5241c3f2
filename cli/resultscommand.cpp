#include "cli/resultscommand.h"

#include "base/safefile.h"
#include "study/core/studyexport.h"
#include "study/core/studyresults.h"

#include <QFileInfo>

#include <optional>

namespace velorix {

namespace {

constexpr int kWritten = 0;
constexpr int kNotWritten = 1;
constexpr int kUsageError = 2;

const char kResultsUsage[]
        = "usage: velorix-cli results FOLDER [--groups FILE] [--runs OUT.csv] [--summary OUT.csv]\n"
          "                           [--plot OUT.png|OUT.svg] [--each-subject] [--count-stopped]\n"
          "Reads every data file under FOLDER with its session log and writes the runs and the\n"
          "summary as CSV (\"-\": standard output; neither named: the summary to standard output).\n";

struct ResultsOptions
{
    QString folder;
    QString groups;
    QString runs;
    QString summary;
    QString plot;
    bool eachSubject = false;
    bool countStopped = false;
};

std::optional<ResultsOptions> parse(QStringList args, QString &problem)
{
    ResultsOptions options;
    options.countStopped = args.removeAll(QStringLiteral("--count-stopped")) > 0;
    options.eachSubject = args.removeAll(QStringLiteral("--each-subject")) > 0;
    while (!args.isEmpty()) {
        const QString word = args.takeFirst();
        QString *value = word == QLatin1String("--groups") ? &options.groups
                : word == QLatin1String("--runs")          ? &options.runs
                : word == QLatin1String("--summary")       ? &options.summary
                : word == QLatin1String("--plot")          ? &options.plot
                                                           : nullptr;
        if (value) {
            if (args.isEmpty()) {
                problem = word + QStringLiteral(" needs a file name");
                return std::nullopt;
            }
            *value = args.takeFirst();
        } else if (word.startsWith(QLatin1String("--"))) {
            problem = QStringLiteral("unknown option \"%1\"").arg(word);
            return std::nullopt;
        } else if (options.folder.isEmpty()) {
            options.folder = word;
        } else {
            problem = QStringLiteral("one folder only: \"%1\"").arg(word);
            return std::nullopt;
        }
    }
    if (options.folder.isEmpty()) {
        problem = QStringLiteral("no folder given");
        return std::nullopt;
    }
    if (options.runs.isEmpty() && options.summary.isEmpty() && options.plot.isEmpty())
        options.summary = QStringLiteral("-");
    return options;
}

// To standard output for "-", else the file replaced as a whole.
bool put(const QString &target, const QByteArray &text, QTextStream &out, QTextStream &err)
{
    if (target.isEmpty())
        return true;
    if (target == QLatin1String("-")) {
        out << QString::fromUtf8(text);
        out.flush();
        return true;
    }
    QString why;
    if (replaceFile(target, text, &why))
        return true;
    err << "velorix-cli: " << target << " was not written: " << why << '\n';
    return false;
}

} // namespace

int runResults(const QStringList &arguments, QTextStream &out, QTextStream &err, const CurvePlotter &plotter)
{
    if (arguments.contains(QStringLiteral("--help"))) {
        out << kResultsUsage
            << "--groups FILE: the subjects' groups from FILE (subject,group) instead of FOLDER/groups.csv.\n"
               "--runs, --summary: tidy CSV, one row a run or a figure. --plot: the groups' mean latency\n"
               "with its SEM over study days; --each-subject adds each subject's line. --count-stopped:\n"
               "runs ended by \"Stop Experiment\" or a closed window count in the figures.\n"
               "Faults found in the files go to standard error as file:line: what. Exit status 0; 1 when\n"
               "a file could not be written; 2 for a usage error or a missing folder.\n";
        out.flush();
        return kWritten;
    }
    QString problem;
    const std::optional<ResultsOptions> options = parse(arguments, problem);
    if (!options) {
        err << "velorix-cli: " << problem << '\n' << kResultsUsage;
        err.flush();
        return kUsageError;
    }
    if (!options->plot.isEmpty() && !plotter) {
        err << "velorix-cli: this build draws no plots\n";
        err.flush();
        return kUsageError;
    }
    if (!QFileInfo(options->folder).isDir()) {
        err << "velorix-cli: no such folder: " << options->folder << '\n';
        err.flush();
        return kUsageError;
    }
    const QString groupsFile = options->groups;
    if (!groupsFile.isEmpty() && !QFileInfo::exists(groupsFile)) {
        err << "velorix-cli: no such groups file: " << groupsFile << '\n';
        err.flush();
        return kUsageError;
    }
    StudyResults study;
    study.read(options->folder, {}, groupsFile);
    study.setCountStopped(options->countStopped);
    for (const FileFault &fault : study.faults())
        err << fault.file << (fault.line > 0 ? QStringLiteral(":%1").arg(fault.line) : QString()) << ": "
            << fault.text << '\n';
    err << study.statusText() << '\n';
    err.flush();

    bool written = put(options->runs, runsCsv(study.runs()), out, err);
    if (!options->summary.isEmpty())
        written = put(options->summary, summaryCsv(study.summary()), out, err) && written;
    if (!options->plot.isEmpty()) {
        CurveChoice choice;
        choice.eachSubject = options->eachSubject;
        QString why;
        if (!plotter(learningCurves(study.summary(), study.runs(), choice, study.options()),
                     curveAxisTitle(choice), options->plot, &why)) {
            err << "velorix-cli: " << options->plot << " was not written: " << why << '\n';
            written = false;
        }
    }
    err.flush();
    return written ? kWritten : kNotWritten;
}

} // namespace velorix
