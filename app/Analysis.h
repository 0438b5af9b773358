// The analysis session: the one loaded table, its co-expression matrix, the
// file they came from and the R state, and the job that works on them. The
// windows act on it and refresh on its signals; nothing else owns analysis state.
#pragma once

#include "ui/AnalysisSource.h"
#include "ui/Job.h"

#include <QPointer>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

class cCEMatrix;
class cWinExprData;

class cAnalysis : public cAnalysisSource {
    Q_OBJECT
  public:
    // What the running job does; the window's control states follow it.
    enum class cJobKind { None, Load, Calculate, Renew, RJob };

    explicit cAnalysis(QObject* parent = nullptr);
    ~cAnalysis() override;

    const cExprData* Table() const override;
    const cCEMatrix* Matrix() const override;
    bool Busy() const override { return Job != nullptr; }

    // The same without the read guard, for the actions that change them.
    cWinExprData* Data() const { return DataObj.get(); }
    cCEMatrix* CEMatrix() const { return MatrixObj.get(); }

    // The loaded file (empty before the first load).
    QString FilePath;
    // The program's folder: the R jobs work in its "scripts" folder.
    QString StartFolder;
    // R's front end folder, empty when none is known, and whether it was found.
    QString RFolder;
    bool RAvailable = false;

    // Replaces the table (its matrix goes with the old one): tableLoaded.
    void SetTable(std::unique_ptr<cWinExprData> data, const QString& path);
    // Releases table and matrix: matrixReleased and tableReleased.
    void ReleaseTable();
    // Takes a matrix for the table (matrixReleased for a previous one first).
    // besideHeap: bytes the memory display must add, because they were not
    // taken from the heap.
    void SetMatrix(std::unique_ptr<cCEMatrix> matrix, std::uint64_t besideHeap);
    void ReleaseMatrix();
    std::uint64_t MatrixBesideHeap() const { return BesideHeap; }

    // Announcements of changes made through Data() and CEMatrix().
    void NotifyValuesChanged() { emit valuesChanged(); }
    void NotifyMatrixComputed() { emit matrixComputed(); }
    void NotifyMatrixRefiltered() { emit matrixRefiltered(); }
    void NotifyPatternsChanged() { emit patternsChanged(); }

    // What runs when a job has ended: error is "" for finished(), the message for failed().
    using cEnded = std::function<void(const QString& error)>;
    // Runs a job: refused (false, the job deleted) while another one runs.
    // The session owns the job until it ends; Busy() is true meanwhile, and
    // the matrix is not readable through Matrix() while a calculation job
    // runs. At the end, `ended` runs while the job still counts (the state of
    // the window is that of the job, the matrix readable again); then the job
    // goes and busyChanged(false) follows. With start false the job is held
    // but not started: the caller prepares it and calls its Start, or DropJob.
    bool StartJob(cJob* job, cJobKind kind, cEnded ended = {}, bool start = true);
    // Lets go of a held job that was never started (its preparation failed).
    void DropJob();
    cJob* RunningJob() const { return Job; }
    cJobKind RunningKind() const { return Kind; }
    // Asks the running job to stop (closing the program).
    void CancelJob();

  private:
    void JobEnded(const QString& error);

    std::unique_ptr<cWinExprData> DataObj;
    std::unique_ptr<cCEMatrix> MatrixObj;
    std::uint64_t BesideHeap = 0;
    QPointer<cJob> Job;
    cJobKind Kind = cJobKind::None;
    cEnded Ended;
    bool Ending = false; // the end of the job is being handled
};
