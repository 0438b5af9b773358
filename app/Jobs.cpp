#include "app/Jobs.h"

#include "app/WinExprData.h"
#include "engine/CEMatrix.h"

#include <QFile>
#include <QMetaObject>

#include <exception>
#include <new>

namespace {

QString ErrorText(std::exception_ptr e)
{
    try {
        std::rethrow_exception(e);
    } catch (const std::bad_alloc&) {
        return QStringLiteral("Out of memory");
    } catch (const std::exception& x) {
        return QString::fromLocal8Bit(x.what());
    } catch (...) {
        return QStringLiteral("Unexpected error");
    }
}

} // namespace

QString CoexpressedText(float progress, int genes)
{
    const QString prefix = progress >= 99.99999f ? QString() : QStringLiteral("Approximately ");
    return prefix + QString::number(genes) + QStringLiteral(" genes are found coexpressed");
}

cThreadJob::~cThreadJob()
{
    if (Worker.joinable()) Worker.join();
}

void cThreadJob::Post(std::function<void()> f)
{
    QMetaObject::invokeMethod(this, std::move(f), Qt::QueuedConnection);
}

void cThreadJob::RunInThread(std::function<void()> work, std::function<void(const QString&)> done)
{
    Worker = std::thread([this, work = std::move(work), done = std::move(done)] {
        std::exception_ptr failure;
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
        // Queued behind the progress the worker posted before.
        Post([this, failure, done] {
            if (Worker.joinable()) Worker.join();
            done(failure ? ErrorText(failure) : QString());
        });
    });
}

// ---- load ----

cLoadJob::cLoadJob(const QString& path, QObject* parent) : cThreadJob(parent), Path(path) {}

cLoadJob::~cLoadJob() = default;

void cLoadJob::Start()
{
    Data = std::make_unique<cWinExprData>();
    const QByteArray name = QFile::encodeName(Path);
    emit progress(0, QStringLiteral("Loading ") + Path);
    RunInThread([this, name] { Count = Data->Load(name.constData()); },
                [this](const QString& error) {
                    if (!error.isEmpty())
                        Fail(error);
                    else
                        Finish();
                });
}

// ---- Calculate CE ----

cCalcCEJob::cCalcCEJob(cWinExprData* data, QObject* parent) : cThreadJob(parent), Data(data) {}

void cCalcCEJob::Prepare(cCEMatrix* matrix, int p, float t)
{
    Matrix = matrix;
    Power = p;
    Threshold = t;
}

void cThreadJob::RunOnTable(cWinExprData* data, std::function<void()> work, const std::atomic<bool>* stop)
{
    data->OnProgress = [this, data, stop](float percent, int genes) {
        // The engine clears Stop as it starts: a Cancel that came before is passed on again.
        if (stop && *stop) data->Stop = true;
        Post([this, percent, genes] { emit progress(percent, CoexpressedText(percent, genes)); });
    };
    RunInThread(std::move(work), [this, data](const QString& error) {
        data->OnProgress = nullptr;
        if (!error.isEmpty())
            Fail(error);
        else
            Finish();
    });
}

void cCalcCEJob::Start()
{
    RunOnTable(
        Data, [this] { Result = Data->CalcCE(Matrix, Power, Threshold); }, &StopAsked);
}

void cCalcCEJob::Cancel()
{
    CancelRequested = true;
    StopAsked = true;
    // Before Start the flag alone is kept: CalcCE clears Stop as it starts.
    if (Matrix) Data->Stop = true;
}

// ---- re-calculation ----

cRenewCEJob::cRenewCEJob(cWinExprData* data, cCEMatrix* matrix, QObject* parent)
    : cThreadJob(parent), Data(data), Matrix(matrix)
{
}

void cRenewCEJob::Start()
{
    RunOnTable(Data, [this] { Data->RenewCE(Matrix, Power, Threshold); });
}
