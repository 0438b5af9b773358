// The main window's long actions on the engine as jobs: loading a table,
// Calculate CE and the re-calculation. Each runs on a worker thread and
// reports progress and its end on the window thread.
#pragma once

#include "ui/Job.h"

#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

class cCEMatrix;
class cWinExprData;

// Work on one worker thread; its end is delivered on the thread that started it.
class cThreadJob : public cJob {
    Q_OBJECT
  public:
    using cJob::cJob;
    // Waits for the worker: a job goes only when its work has stopped.
    ~cThreadJob() override;

  protected:
    // Runs work on the worker; then, on the job's own thread, done() with the
    // message of an exception work threw ("" when none).
    void RunInThread(std::function<void()> work, std::function<void(const QString& error)> done);
    // Queues f to run on the job's thread (from the worker).
    void Post(std::function<void()> f);
    // Runs engine work on the table with its progress shown as the gauge shows
    // it; stop, when given, is passed on to the engine at every progress.
    void RunOnTable(cWinExprData* data, std::function<void()> work, const std::atomic<bool>* stop = nullptr);

  private:
    std::thread Worker;
};

// Loads a table into a fresh data object; the current one is not touched.
class cLoadJob : public cThreadJob {
    Q_OBJECT
  public:
    explicit cLoadJob(const QString& path, QObject* parent = nullptr);
    ~cLoadJob() override;
    void Start() override;
    // Loading is not interrupted; a cancel only marks the job.
    void Cancel() override { CancelRequested = true; }

    QString Path;
    // After the end: Load's result and the loaded object (also after a failed
    // load, so that its failure reason can be read).
    int Count = -1;
    std::unique_ptr<cWinExprData> Data;
};

// Calculate CE on the given table and matrix; progress as the gauge shows it.
class cCalcCEJob : public cThreadJob {
    Q_OBJECT
  public:
    explicit cCalcCEJob(cWinExprData* data, QObject* parent = nullptr);
    // The matrix to fill, the power and the threshold; before Start.
    void Prepare(cCEMatrix* matrix, int p, float t);
    void Start() override;
    // Stops the calculation at its next pair; the rows done stay.
    void Cancel() override;

    int Result = 0; // CalcCE's return value

  private:
    cWinExprData* Data;
    cCEMatrix* Matrix = nullptr;
    int Power = 1;
    float Threshold = 0;
    std::atomic<bool> StopAsked{false}; // read by the worker
};

// The re-calculation from the stored correlations (never cancelled).
class cRenewCEJob : public cThreadJob {
    Q_OBJECT
  public:
    cRenewCEJob(cWinExprData* data, cCEMatrix* matrix, QObject* parent = nullptr);
    // The power and the threshold; before Start.
    void Prepare(int p, float t)
    {
        Power = p;
        Threshold = t;
    }
    void Start() override;
    void Cancel() override { CancelRequested = true; }

  private:
    cWinExprData* Data;
    cCEMatrix* Matrix;
    int Power = 1;
    float Threshold = 0;
};

// The text of lbCoexpressed for a progress and a count of co-expressed genes.
QString CoexpressedText(float progress, int genes);
