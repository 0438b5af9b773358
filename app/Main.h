// Main window: owns the data object and the co-expression matrix.
#pragma once

#include <QMainWindow>
#include <QString>

class cCEMatrix;
class cWinExprData;

class TfmMain : public QMainWindow {
    Q_OBJECT
public:
    explicit TfmMain(QWidget* parent = nullptr);
    ~TfmMain() override;

    cWinExprData* ExprData = nullptr;  // null until the first load
    cCEMatrix* CEMatrix = nullptr;     // null until the first Calculate CE
    QString RFolder;
    QString StartFolder;
    bool RAvailable = false;
};
