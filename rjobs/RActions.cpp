#include "rjobs/RActions.h"

#include "ui/Job.h"

#include "engine/CEMatrix.h"
#include "engine/ExprData.h"
#include "rjobs/RJob.h"
#include "rjobs/RSearch.h"
#include "rjobs/Rparam.h"
#include "views/Scr3d.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QTimer>

#include <cmath>

namespace {

void Message(cRHost& h, const QString& caption, const QString& text)
{
    if (h.Message) h.Message(caption, text);
}

void Busy(cRHost& h, bool on)
{
    if (h.Busy) h.Busy(on);
}

// The result check of a job: the file must be there and must not be one left over from before
// the job (a stale file would otherwise pass for the job's result).
struct cFileStamp {
    bool IsFile = false;
    QDateTime Modified;
    qint64 Size = -1;

    static cFileStamp Of(const QString& path)
    {
        QFileInfo fi(path);
        cFileStamp s;
        s.IsFile = fi.isFile();
        if (s.IsFile) {
            s.Modified = fi.fileTime(QFileDevice::FileModificationTime);
            s.Size = fi.size();
        }
        return s;
    }
    bool WrittenSince(const cFileStamp& before) const
    {
        return IsFile && (!before.IsFile || Modified != before.Modified || Size != before.Size);
    }
};

QString CannotWriteText(const QString& path)
{
    return QStringLiteral("Cannot write the file '%1'.").arg(path);
}

// How many lines of R's transcript a failure message shows.
constexpr int TranscriptLines = 10;

// A failed job's message: the lead, then where R's transcript of this run is and how it ends, or,
// when R wrote none (it never started), how the job's own output ends.
QString NoResultText(const QString& lead, const QString& transcript, const cFileStamp& before,
                     const QString& jobOutput)
{
    QString text = lead;
    if (cFileStamp::Of(transcript).WrittenSince(before)) {
        text += QStringLiteral("\n\nR's transcript of the job is in %1. It ends with:\n").arg(transcript);
        text += LastLines(transcript, TranscriptLines);
        return text;
    }
    text += QStringLiteral("\n\nR wrote no transcript of the job (%1).").arg(transcript);
    QStringList lines = jobOutput.trimmed().split(QLatin1Char('\n'));
    if (lines.size() > TranscriptLines) lines = lines.mid(lines.size() - TranscriptLines);
    if (!jobOutput.trimmed().isEmpty())
        text += QStringLiteral(" The job's output ends with:\n") + lines.join(QLatin1Char('\n'));
    return text;
}

} // namespace

cJob* SearchR(cRHost& h)
{
    *h.RFolder = QString();
    auto* probe = new cRProbe(RFolderCandidates(RSearchRoots()), h.Window);
    const cRHost host = h;
    QObject::connect(probe, &cJob::finished, probe, [probe, host] {
        probe->deleteLater();
        if (probe->Cancelled()) return;
        for (const auto& [folder, why] : probe->Skipped())
            if (host.Log) host.Log(QStringLiteral("R in %1 is passed over: %2.").arg(folder, why));
        // The user chose a working R while the check ran: that choice stands.
        if (*host.RAvailable) return;
        if (!probe->Folder().isEmpty()) {
            *host.RFolder = probe->Folder();
            if (host.Log) host.Log(QStringLiteral("Rcmd is found in a default R folder: ") + probe->Folder());
            if (host.SetRGlyph) host.SetRGlyph(true);
            *host.RAvailable = true;
        } else {
            if (host.Log)
                host.Log(QStringLiteral("Cannot find a default R folder. Choose it manualy of use Korvalent "
                                        "without some functions."));
            if (host.SetRGlyph) host.SetRGlyph(false);
        }
    });
    probe->Start();
    return probe;
}

void btROptionsClick(cRHost& h, TfmRParam* dialog)
{
    dialog->RFolderTarget = h.RFolder;
    dialog->BrowseFolder = *h.RFolder;
    dialog->exec();
    if (RcmdExists(*h.RFolder)) {
        if (h.Log) h.Log(QStringLiteral("New R location is defined: ") + *h.RFolder);
        // A working manual choice makes the R actions usable, as a start-up discovery does.
        *h.RAvailable = true;
        if (h.SetRGlyph) h.SetRGlyph(true);
    } else {
        *h.RAvailable = false;
        if (h.Log)
            h.Log(QStringLiteral("Cannot find Rcmd.exe in a new place!")
                      .replace(QStringLiteral("Rcmd.exe"), RcmdName()));
        *h.RFolder = QString();
    }
}

namespace {

// One R action: the job script run by R, then the pause and the result check of the action.
// Busy from its start to its end; `then` runs once the job has ended.
class cRActionJob : public cJob {
  public:
    cRActionJob(cRHost host, cRJobRunner* runner, int pauseMs, std::function<void(cRActionJob&)> afterPause)
        : Host(std::move(host)), Runner(runner), PauseMs(pauseMs), AfterPause(std::move(afterPause))
    {
        Runner->setParent(this);
    }

    void Start() override
    {
        Busy(Host, true);
        connect(Runner, &cJob::progress, this, &cJob::progress);
        connect(Runner, &cJob::finished, this, [this] {
            if (Runner->Status() == cRJobStatus::Cancelled) CancelRequested = true;
            // The script may still be closing its files: the result is looked at a little later.
            QTimer::singleShot(PauseMs, this, [this] { AfterPause(*this); });
        });
        connect(Runner, &cJob::failed, this, [this] { AfterPause(*this); });
        Runner->Start();
    }
    void Cancel() override
    {
        CancelRequested = true;
        Runner->Cancel();
    }

    cRJobStatus Status() const { return Runner->Status(); }
    QString Output() const { return Runner->Output(); }
    // Ends the job (the window is free again), then runs `then`.
    void End(const std::function<void()>& then = {})
    {
        Busy(Host, false);
        Finish();
        if (then) then();
    }

    cRHost Host;

  private:
    cRJobRunner* Runner;
    int PauseMs;
    std::function<void(cRActionJob&)> AfterPause;
};

// Hands the job to the window, or runs it on its own; it deletes itself when it has ended.
cJob* StartAction(cRHost& h, cRActionJob* job)
{
    if (h.Start) return h.Start(job) ? job : nullptr;
    QObject::connect(job, &cJob::finished, job, &QObject::deleteLater);
    QObject::connect(job, &cJob::failed, job, &QObject::deleteLater);
    job->Start();
    return job;
}

} // namespace

cJob* btRProcessingClick(cRHost& h, TfmRParam* dialog)
{
    if (!h.Data || !h.Data()) {
        Message(h, QStringLiteral("Error"), QStringLiteral("Data file is not yet loaded"));
        return nullptr;
    }
    if (!RcmdExists(*h.RFolder)) {
        Message(h, QStringLiteral("Error"), QStringLiteral("Cannot find ") + RcmdName());
        return nullptr;
    }
    const QString script = ScriptsFile(h.StartFolder, QStringLiteral("temp.rdatanorm.r"));
    if (!SaveLinesCrLf(script, h.ScriptText ? h.ScriptText() : DefaultRNormText())) {
        Message(h, QStringLiteral("Error"), CannotWriteText(script));
        return nullptr;
    }
    const QString dataPath = h.DataPath ? h.DataPath() : QString();
    const QString outName = h.OutName ? h.OutName() : QString();
    const QString result = dataPath + QLatin1Char('/') + outName;
    const cFileStamp before = cFileStamp::Of(NativeSeparators(result));
    const QString jobScript = ScriptsFile(h.StartFolder, JobScriptName());
    const cRJob rJob = PreprocessingJob(dataPath, h.DataFile ? h.DataFile() : QString(), outName);
    const QString transcript = TranscriptFile(rJob, h.StartFolder);
    const cFileStamp transcriptBefore = cFileStamp::Of(transcript);

    cRJobRunner* runner =
        PrepareBatchJob(rJob, h.StartFolder, *h.RFolder, dialog ? dialog->mBat : nullptr, h.Window);
    if (!runner) {
        Message(h, QStringLiteral("Error"), CannotWriteText(jobScript));
        return nullptr;
    }
    auto* job = new cRActionJob(h, runner, 500, [=](cRActionJob& j) {
        QFile::remove(jobScript);
        const cRJobStatus status = j.Status();
        if (status == cRJobStatus::Cancelled) return j.End();
        if (status == cRJobStatus::CannotStart ||
            !cFileStamp::Of(NativeSeparators(result)).WrittenSince(before)) {
            Message(j.Host, QStringLiteral("No resulted file"),
                    NoResultText(QStringLiteral("The resulted file cannot be found. Perhaps an error occured "
                                                "when running R-script."),
                                 transcript, transcriptBefore, j.Output()));
            return j.End();
        }
        cRHost host = j.Host;
        j.End([host, result] {
            if (host.LoadPreset) host.LoadPreset(result);
        });
    });
    return StartAction(h, job);
}

cJob* btNetworkClick(cRHost& h, TfmRParam* dialog, TfmScr3D* view)
{
    if (!h.Matrix || !h.Matrix() || !h.Data || !h.Data()) return nullptr;
    if (!RcmdExists(*h.RFolder)) {
        Message(h, QStringLiteral("Error"), QStringLiteral("Cannot find ") + RcmdName());
        return nullptr;
    }
    if (!QFileInfo(ScriptsFile(h.StartFolder, QStringLiteral("genes2pca.r"))).isFile()) {
        Message(h, QStringLiteral("Error"), QStringLiteral("Cannot find genes2pca.r"));
        return nullptr;
    }
    const QString input = ScriptsFile(h.StartFolder, QStringLiteral("temp.genes4pca.txt"));
    const QString output = ScriptsFile(h.StartFolder, QStringLiteral("temp.pca.txt"));
    const QString jobScript = ScriptsFile(h.StartFolder, JobScriptName());
    // Files of an earlier, interrupted job must not pass for this job's input or result.
    QFile::remove(input);
    QFile::remove(output);
    if (h.SaveFilteredPreset)
        h.SaveFilteredPreset(h.StartFolder + QStringLiteral("/scripts/temp.genes4pca.txt"));

    const cRJob rJob = NetworkJob(h.StartFolder);
    const QString transcript = TranscriptFile(rJob, h.StartFolder);
    const cFileStamp transcriptBefore = cFileStamp::Of(transcript);
    cRJobRunner* runner =
        PrepareBatchJob(rJob, h.StartFolder, *h.RFolder, dialog ? dialog->mBat : nullptr, h.Window);
    if (!runner) {
        Message(h, QStringLiteral("Error"), CannotWriteText(jobScript));
        return nullptr;
    }
    QPointer<TfmScr3D> target = view;
    auto* job = new cRActionJob(h, runner, 100, [=](cRActionJob& j) {
        const cRJobStatus status = j.Status();
        if (status == cRJobStatus::Cancelled) return j.End();
        if (!QFileInfo(output).isFile()) {
            Message(j.Host, QStringLiteral("No resulted file"),
                    NoResultText(QStringLiteral("The resulted PCA-file cannot be found. Perhaps an error "
                                                "occured when running R-script."),
                                 transcript, transcriptBefore, j.Output()));
            return j.End();
        }
        // The layout is read before the job's files go.
        const cExprData* data = j.Host.Data();
        const cCEMatrix* matrix = j.Host.Matrix();
        QString why = QStringLiteral("the table or the matrix is gone");
        std::optional<cNetworkLayout> layout;
        if (data && matrix) layout = ReadPcaLayout(output, *data, &why);
        QFile::remove(jobScript);
        QFile::remove(input);
        QFile::remove(output);
        if (!layout) {
            // A scene made up in its place would pass for the user's network.
            Message(j.Host, QStringLiteral("Error"),
                    QStringLiteral("The network layout could not be read: ") + why + QLatin1Char('.'));
            return j.End();
        }
        j.End([target, layout, data, matrix] {
            if (!target) return;
            target->ShowNetwork(*layout, *data, *matrix);
            target->show();
            target->raise();
            target->activateWindow();
        });
    });
    return StartAction(h, job);
}

std::optional<cNetworkLayout> ReadPcaLayout(const QString& path, const cExprData& data, QString* why)
{
    const auto fail = [why](const QString& reason) -> std::optional<cNetworkLayout> {
        if (why) *why = reason;
        return std::nullopt;
    };
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return fail(QStringLiteral("cannot open '%1'").arg(path));
    const auto fields = [](QByteArray line) {
        if (line.endsWith('\n')) line.chop(1);
        if (line.endsWith('\r')) line.chop(1);
        QList<QByteArray> parts = line.split('\t');
        for (QByteArray& p : parts)
            if (p.size() >= 2 && p.startsWith('"') && p.endsWith('"')) p = p.mid(1, p.size() - 2);
        return parts;
    };
    // Shown in a message: tabs made visible, and a runaway line cut short.
    const auto shown = [](const QList<QByteArray>& parts) {
        QString text = QString::fromLocal8Bit(parts.join(' '));
        if (text.size() > 80) text = text.left(77) + QStringLiteral("...");
        return text;
    };
    const auto isCoexpressed = [&data](int g) { return data.nCE && data.nCE[g] > 0; };
    int expected = 0;
    for (int g = 0; g < data.nGenes; ++g)
        expected += isCoexpressed(g);

    if (f.atEnd()) return fail(QStringLiteral("the file is empty"));
    const QList<QByteArray> header = fields(f.readLine());
    if (header != QList<QByteArray>{"ID", "PC1", "PC2", "PC3"})
        return fail(QStringLiteral("the first line is \"%1\", not the header ID, PC1, PC2, PC3 "
                                   "separated by tabs")
                        .arg(shown(header)));

    cNetworkLayout layout;
    int g = 0, lineNo = 1;
    static const char* const axis[3] = {"PC1", "PC2", "PC3"};
    while (!f.atEnd()) {
        const QByteArray raw = f.readLine();
        ++lineNo;
        if (raw.trimmed().isEmpty()) continue;
        const QList<QByteArray> parts = fields(raw);
        while (g < data.nGenes && !isCoexpressed(g))
            ++g;
        if (parts.size() != 4)
            return fail(QStringLiteral("line %1 (\"%2\") has %3 fields, not 4")
                            .arg(lineNo)
                            .arg(shown(parts))
                            .arg(parts.size()));
        if (g >= data.nGenes)
            return fail(QStringLiteral("line %1 names the gene '%2', but the table has only %3 "
                                       "co-expressed genes")
                            .arg(lineNo)
                            .arg(QString::fromLocal8Bit(parts[0]))
                            .arg(expected));
        if (parts[0] != QByteArray(data.GeneID[g]))
            return fail(QStringLiteral("line %1 names the gene '%2' where the table's co-expressed genes "
                                       "have '%3'")
                            .arg(lineNo)
                            .arg(QString::fromLocal8Bit(parts[0]), QString::fromLocal8Bit(data.GeneID[g])));
        double v[3];
        for (int k = 0; k < 3; ++k) {
            bool ok = false;
            v[k] = parts[k + 1].trimmed().toDouble(&ok);
            if (!ok || !std::isfinite(v[k]))
                return fail(QStringLiteral("line %1: %2 of '%3' is \"%4\", not a finite number")
                                .arg(lineNo)
                                .arg(QLatin1String(axis[k]), QString::fromLocal8Bit(parts[0]),
                                     QString::fromLocal8Bit(parts[k + 1])));
        }
        layout.Genes.push_back(g);
        layout.Positions.emplace_back(v[0], v[1], v[2]);
        ++g;
    }
    if (static_cast<int>(layout.Genes.size()) != expected)
        return fail(QStringLiteral("it places %1 genes, but the table has %2 co-expressed genes")
                        .arg(layout.Genes.size())
                        .arg(expected));
    return layout;
}
