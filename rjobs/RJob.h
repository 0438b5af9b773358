// R batch jobs: the job description, the text of the job script, and the runner that starts it
// with /bin/sh as a job while the window stays responsive.
#pragma once

#include "ui/Job.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QString>
#include <QStringList>

class QPlainTextEdit;
class QWidget;

// One job: where its data lie, what the script reads and writes, and the banner it shows.
struct cRJob {
    QString DataPath;   // folder of the input and output file (KORVALENT_DATAPATH)
    QString InName;     // input file name in that folder (KORVALENT_DATANAMEIN)
    QString OutName;    // output file name in that folder (KORVALENT_DATANAMEOUT)
    QString Title;      // the middle banner line
    QString FolderLine; // label in front of the data folder
    QString InLine;     // label in front of the input name
    QString OutLine;    // label in front of the output name
    QString Script;     // the R script, relative to the program's folder
};

// The custom preprocessing job on the loaded table.
cRJob PreprocessingJob(const QString& dataPath, const QString& inName, const QString& outName);
// The network layout job; its files lie in the scripts folder below startFolder.
cRJob NetworkJob(const QString& startFolder);

// The scripts folder below the program's folder, and files in it.
QString ScriptsFolder(const QString& startFolder);
QString ScriptsFile(const QString& startFolder, const QString& name);
// The job script written for every job, "run.sh".
QString JobScriptName();
// Where R CMD BATCH writes R's transcript of the job: the script's file name with a final ".R"
// dropped and ".Rout" appended, in the folder the job runs in (startFolder, not scripts).
QString TranscriptFile(const cRJob& job, const QString& startFolder);
// The last count lines of a text file (of its last 64 KiB at most), without the final line break;
// empty when the file cannot be read.
QString LastLines(const QString& path, int count);

// The text as one single-quoted shell word: nothing inside it is expanded or run.
QString ShellQuote(const QString& text);

// The shell command that runs R's front end in rFolder in BATCH mode on script (a path relative to
// the folder it runs in), with R's home set and no workspace restored or saved.
QString RBatchCommand(const QString& rFolder, const QString& script);

// The 18 lines of the job script: the three exported variables, the folder change, the banner
// and R's front end called in BATCH mode on the job's script. rFolder is the folder of the front
// end, whose parent is R's home folder.
QStringList JobScriptLines(const cRJob& job, const QString& startFolder, const QString& rFolder);

// The default text of the preprocessing script memo.
QString DefaultRNormText();

// Saves lines of text, each ending with CR LF (the memo's "save to file"). An empty text gives an
// empty file. Returns false when the file cannot be written.
bool SaveLinesCrLf(const QString& path, const QString& text);

enum class cRJobStatus {
    Running,     // not ended yet
    Finished,    // the shell ended (its exit status is not a verdict on the job)
    Cancelled,   // the user ended it
    CannotWrite, // the job script could not be written; nothing was run
    CannotStart, // /bin/sh could not be started
};

// Runs one job script as a job: Start returns at once, the end comes as finished() (also after a
// cancel) or failed() when the shell cannot be started. While it runs, a small window-modal
// dialog ("dlgRJob") shows the job's output and offers Cancel, which ends the whole process group
// (the shell, R's front end, R itself and whatever they started): SIGTERM first, SIGKILL to the
// group after a grace period, and finished() only once no process of the group is left.
class cRJobRunner : public cJob {
    Q_OBJECT
  public:
    cRJobRunner(const QString& scriptPath, const QString& workFolder, QWidget* window,
                QObject* parent = nullptr);
    ~cRJobRunner() override;

    void Start() override;
    void Cancel() override;
    bool Running() const;
    cRJobStatus Status() const { return State; }
    // Everything the job wrote to its standard output and error.
    QString Output() const { return Transcript; }
    int ExitCode() const { return Code; }

    // The runner of the job now running, if any (one job at a time).
    static cRJobRunner* Active();

    // The grace period between SIGTERM and SIGKILL on Cancel; tests shorten it.
    int GraceMs = 2000;

  signals:
    void started();

  private:
    void KillGroup(int signal);
    void ProcessEnded();
    // Finishes a cancelled job once its process group is empty (polled, never waited for).
    void AwaitGroupEnd();

    QString ScriptPath, WorkFolder;
    QPointer<QWidget> Window;
    QProcess* Process = nullptr;
    class QDialog* Dialog = nullptr;
    class QPlainTextEdit* OutputView = nullptr;
    class QTimer* ShowLater = nullptr;
    class QTimer* GroupPoll = nullptr;
    qint64 Pgid = 0;         // the shell's pid, which is also the id of the job's process group
    QElapsedTimer SinceKill; // started when SIGKILL went to the group
    QString Transcript;
    int Code = -1;
    cRJobStatus State = cRJobStatus::Running;
};

// The common job step: fills mBat with the job script (when given) and saves it as scripts/run.sh
// below startFolder. Returns the runner for it, not yet started, or null when the script cannot be
// written. window parents the job dialog (may be null).
cRJobRunner* PrepareBatchJob(const cRJob& job, const QString& startFolder, const QString& rFolder,
                             QPlainTextEdit* mBat, QWidget* window);
