// One long action run without blocking the window: Start it, follow its
// progress, Cancel it; it ends with finished() or failed(message), exactly once.
#pragma once

#include <QObject>
#include <QString>

class cJob : public QObject {
    Q_OBJECT
  public:
    using QObject::QObject;

    // Begins the work and returns at once; the outcome comes as a signal.
    virtual void Start() = 0;
    // Asks the work to stop; it still ends with finished() (a cancelled job
    // keeps what it did) or failed().
    virtual void Cancel() = 0;

    bool Cancelled() const { return CancelRequested; }
    bool Ended() const { return Done; }

  signals:
    // value in percent (0 to 100), text worded for the user.
    void progress(double value, const QString& text);
    void finished();
    void failed(const QString& message);

  protected:
    // Emits the outcome once; later calls are ignored.
    void Finish()
    {
        if (Done) return;
        Done = true;
        emit finished();
    }
    void Fail(const QString& message)
    {
        if (Done) return;
        Done = true;
        emit failed(message);
    }
    bool CancelRequested = false;

  private:
    bool Done = false;
};
