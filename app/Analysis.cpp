#include "app/Analysis.h"

#include "app/WinExprData.h"
#include "engine/CEMatrix.h"
#include "ui/Job.h"

cAnalysis::cAnalysis(QObject* parent) : cAnalysisSource(parent) {}

cAnalysis::~cAnalysis()
{
    // A job still running is stopped and waited for before the data it uses go.
    if (Job) {
        Job->Cancel();
        delete Job.data();
    }
}

const cExprData* cAnalysis::Table() const
{
    return DataObj.get();
}

const cCEMatrix* cAnalysis::Matrix() const
{
    // Worker threads fill or re-filter the cells during these jobs.
    if (!Ending && (Kind == cJobKind::Calculate || Kind == cJobKind::Renew)) return nullptr;
    return MatrixObj.get();
}

void cAnalysis::SetTable(std::unique_ptr<cWinExprData> data, const QString& path)
{
    ReleaseMatrix();
    DataObj = std::move(data);
    FilePath = path;
    emit tableLoaded();
}

void cAnalysis::ReleaseTable()
{
    ReleaseMatrix();
    if (!DataObj) return;
    DataObj.reset();
    emit tableReleased();
}

void cAnalysis::SetMatrix(std::unique_ptr<cCEMatrix> matrix, std::uint64_t besideHeap)
{
    MatrixObj = std::move(matrix);
    BesideHeap = MatrixObj ? besideHeap : 0;
}

void cAnalysis::ReleaseMatrix()
{
    if (!MatrixObj) return;
    MatrixObj.reset();
    BesideHeap = 0;
    emit matrixReleased();
}

bool cAnalysis::StartJob(cJob* job, cJobKind kind, cEnded ended, bool start)
{
    if (job == nullptr) return false;
    if (Job) {
        delete job;
        return false;
    }
    Job = job;
    Kind = kind;
    Ended = std::move(ended);
    job->setParent(this);
    connect(job, &cJob::finished, this, [this, job] {
        if (job == Job) JobEnded(QString());
    });
    connect(job, &cJob::failed, this, [this, job](const QString& message) {
        if (job == Job) JobEnded(message.isEmpty() ? QStringLiteral("The job failed.") : message);
    });
    emit busyChanged(true);
    if (start) job->Start();
    return true;
}

void cAnalysis::DropJob()
{
    if (!Job) return;
    cJob* job = Job;
    Job = nullptr;
    Kind = cJobKind::None;
    Ended = nullptr;
    job->deleteLater();
    emit busyChanged(false);
}

void cAnalysis::JobEnded(const QString& error)
{
    cJob* job = Job;
    const cEnded ended = std::move(Ended);
    Ended = nullptr;
    Ending = true;
    // The job goes and the session is free again however the end handler ends.
    struct cRelease {
        cAnalysis* Session;
        cJob* Job;
        ~cRelease()
        {
            Session->Ending = false;
            Session->Job = nullptr;
            Session->Kind = cJobKind::None;
            Job->deleteLater();
            emit Session->busyChanged(false);
        }
    } release{this, job};
    if (ended) ended(error);
}

void cAnalysis::CancelJob()
{
    if (Job) Job->Cancel();
}
