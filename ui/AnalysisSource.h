// What the secondary windows see of the analysis: the loaded table, the
// co-expression matrix and whether a long action works on them, and the
// signals that tell them what changed. Windows receive it when they are built.
#pragma once

#include <QObject>

class cCEMatrix;
class cExprData;

class cAnalysisSource : public QObject {
    Q_OBJECT
  public:
    using QObject::QObject;

    // The loaded table, or null.
    virtual const cExprData* Table() const = 0;
    // The co-expression matrix of that table, or null: none yet, or a job is
    // writing it (its cells are not to be read meanwhile).
    virtual const cCEMatrix* Matrix() const = 0;
    // True while a long action (a job) holds the table or the matrix.
    virtual bool Busy() const = 0;

  signals:
    // A table was loaded in place of the previous one (whose matrix went with it).
    void tableLoaded();
    // The table was released and none replaces it.
    void tableReleased();
    // The values changed in place (a normalization); the statistics are recomputed.
    void valuesChanged();
    // Calculate CE ended (also after a cancel): the matrix holds what was computed.
    void matrixComputed();
    // The stored matrix was filtered again (re-calculation, removal of genes).
    void matrixRefiltered();
    // The matrix was released (a new load, a new calculation starting).
    void matrixReleased();
    // Pattern labels were detected anew.
    void patternsChanged();
    // A job started or ended.
    void busyChanged(bool busy);
};
