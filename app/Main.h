// Main window: owns the data object and the co-expression matrix, drives the
// pipeline from its toolbar (Load Data, Normalize, Calculate CE, Network),
// keeps the log and the console, and shows progress and memory in use.
#pragma once

#include "app/ControlStates.h"
#include "ui/Dialogs.h"
#include "ui/Job.h"

#include <QMainWindow>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <functional>
#include <string>

class cAnalysis;
class cCEMatrix;
class cExprData;
class cWinExprData;

class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSlider;
class QStatusBar;
class QTabWidget;
class QTimer;
class QToolBar;
class QToolButton;
class QWidget;
class QChartView;
class QLineSeries;

class QValueAxis;

class TfmMain : public QMainWindow {
    Q_OBJECT
  public:
    explicit TfmMain(QWidget* parent = nullptr);
    ~TfmMain() override;

    // ---- state (held by the analysis session) ----
    cAnalysis* Session() const { return Analysis; }
    cWinExprData* ExprData() const; // null until the first load
    cCEMatrix* CEMatrix() const;    // null until the first Calculate CE
    const QString& RFolder() const;
    const QString& StartFolder() const;
    bool RAvailable() const;

    cFileDialog dlgOpen;
    cFileDialog dlgSave;

    // True while a job (load, calculation, re-calculation, R job) works on the
    // table or the matrix; actions that would change or release them do nothing.
    bool Computing() const;
    // True while btCalcCE is the cancel button.
    bool CalcRunning() const { return Running; }
    // The state the control table is applied for.
    cWinState State() const;

    // ---- shared helpers ----
    // Appends the time stamp and the message (which begins with ": ") to mLog.
    void AddLogLine(const QString& message);
    // Appends a line without a time stamp.
    void AddLogText(const QString& text);
    // The busy indicator for actions that run to their end on the window thread.
    void SetBusy(bool on);
    // The R button's picture: imgR when R was found, imgNoR otherwise.
    void SetRGlyph(bool found);
    // Progress display: gauge and lbCoexpressed from a Progress and its text.
    void ShowProgress(double progress, const QString& text);
    // The status panel text for a count of allocated bytes.
    static QString MemoryText(unsigned bytes);
    // Heap bytes currently allocated by the program.
    static std::uint64_t HeapBytes();
    // What the status panel shows: the heap plus a matrix held beside it.
    unsigned MemoryInUse() const;
    // Applies the control table for State(), and the captions that go with it.
    void UpdateControls();

    // ---- actions (handlers named after their control and event) ----
    void FormCreate();
    void btOpenClick();
    void btExitClick();
    void Timer1Timer();
    void btAboutClick();
    void Button1Click();

    void btArrayNormClick();
    void btGeneNormClick();
    void btNormalizeClick();

    void btCalcCEClick();
    void btRenewCEClick();
    void cbbMeasureChange();
    void btCEPatternsClick();
    void btListPatternClick();

    void btShowMAClick();
    void btMeanByMAClick();
    void btStdByMAClick();
    void btShowIDClick();
    void btMean4GenesClick();
    void btSTD4GenesClick();
    void btClearConClick();

    void btSaveFilteredClick();
    void btSaveCEClick();
    void btSaveDCClick();
    void btSaveCPatternClick();

    void btPlotClick();
    void btDistribClick();
    void btShowCEClick();

    // Analysis by Genes tab (MainGenes.cpp).
    // The find dialog took gene (1-based) for the blue (1) or green (2) selection.
    void GeneTaken(int which, int gene);
    void gbGeneProfilesClick();
    void tbGeneNum1Change();
    void edGeneNum1Change();
    void edGeneNum2Change();
    void cbCompareClick();
    void btFind1Click();
    void btFind2Click();
    void btBuildClick();
    void btKillDCClick();

    // R integration (MainR.cpp).
    // Starts the search for R; its check of the hits ends later, without blocking the window.
    void SearchR();
    // True while that check still runs.
    bool SearchingR() const;
    void btROptionsClick();
    void btRProcessingClick();
    // "Preprocessing routine": puts the delivered example script back into mRNorm.
    void BitBtn1Click();
    void btNetworkClick();

    // ---- controls ----
    QToolBar* ToolBar1;
    QToolButton* btBusy;
    QToolButton* btROptions;
    QToolButton* btOpen;
    QToolButton* btNormalize;
    QToolButton* btCalcCE;
    QToolButton* btRenewCE;
    QToolButton* btNetwork;
    QToolButton* btAbout;
    QToolButton* btExit;

    QGroupBox* GroupBox4;
    QPushButton* btPlot;
    QPushButton* btDistrib;
    QPushButton* btShowCE;
    QPushButton* btShowGN;

    QTabWidget* PageControl;
    QWidget* tshImport;
    QWidget* tshNormalization;
    QWidget* tshCalcCE;
    QWidget* tshAnalyze;

    QPlainTextEdit* mLog;
    QStatusBar* StatusBar;
    QLabel* StatusPanel;
    QTimer* Timer1;

    // Data tab
    QLabel* lbPath;
    QLabel* lbFileName;
    QLabel* lbNGenes;
    QLabel* lbNArrays;
    QLabel* lbMissing;
    QLabel* lbMean;
    QLabel* lbStDev;
    QGroupBox* GroupBox5;
    QPushButton* btShowMA;
    QPushButton* btMeanByMA;
    QPushButton* btStdByMA;
    QPushButton* btShowID;
    QPushButton* btMean4Genes;
    QPushButton* btSTD4Genes;
    QPushButton* btClearCon;
    QPlainTextEdit* mCon;
    QLabel* imgR;
    QLabel* imgNoR;
    QPushButton* Button1;

    // Normalization tab
    QGroupBox* GroupBox1;
    QPushButton* btArrayNorm;
    QCheckBox* chbCenterArrays;
    QCheckBox* chbScaleArrays;
    QPushButton* btGeneNorm;
    QCheckBox* chbCenterGenes;
    QCheckBox* chbScaleGenes;
    QGroupBox* GroupBox3;
    QLabel* Label19;
    QLineEdit* edFileNameOut;
    QPushButton* btRProcessing;
    QPushButton* BitBtn1;
    QPlainTextEdit* mRNorm;

    // CE & Patterns tab
    QComboBox* cbbMeasure;
    QFrame* panCParam;
    QLineEdit* edCEPower;
    QLineEdit* edCEThreshold;
    QFrame* panMIParam;
    QLineEdit* Edit3;
    QLineEdit* Edit4;
    QProgressBar* cgProgress;
    QLabel* lbCoexpressed;
    QPushButton* btSaveFiltered;
    QPushButton* btSaveCE;
    QGroupBox* GroupBox6;
    QPushButton* btCEPatterns;
    QLabel* lbNPatterns;
    QLabel* lbNGenesRep;
    QPlainTextEdit* mPatterns;
    QLineEdit* edPattern;
    QPushButton* btListPattern;
    QPushButton* btSaveCPattern;
    QChartView* Chart3;
    QLineSeries* serCluster;
    QValueAxis* Chart3AxisX;
    QValueAxis* Chart3AxisY;

    // Analysis by Genes tab
    QGroupBox* GroupBox7;
    QLineEdit* edGeneNum1;
    QSlider* tbGeneNum1;
    QToolButton* btFind1;
    QLabel* lbID1;
    QLabel* lbName1;
    QLabel* lbPattern1;
    QGroupBox* GroupBox2;
    QCheckBox* cbCompare;
    QLineEdit* edGeneNum2;
    QSlider* tbGeneNum2;
    QToolButton* btFind2;
    QLabel* lbID2;
    QLabel* lbName2;
    QLabel* lbPattern2;
    QFrame* pCmpCorrelation;
    QLabel* lbCorrelation;
    QLabel* Label23;
    QPushButton* btBuild;
    QPushButton* btKillDC;
    QPushButton* btSaveDC;
    QTabWidget* pcPlots;
    QWidget* tshProfile;
    QWidget* tshCEProfile;
    QChartView* Chart1;
    QLineSeries* Series1;
    QLineSeries* Series2;
    QChartView* Chart2;
    QLineSeries* Series3;
    QLineSeries* Series4;

  signals:
    // Emitted when the main window has been closed (the program then ends).
    void Closed();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void CreateToolBar();
    void CreateDataTab();
    void CreateNormalizationTab();
    void CreateCETab();
    void CreateAnalyzeTab();
    void Connect();
    // Reads edCEPower and edCEThreshold and writes them back in canonical form.
    void ReadCEParameters(int& p, double& t);
    // Normalization between arrays or between genes, with the centring and
    // scaling its two check boxes ask for; `between` names it in the log.
    void Normalize(const char* between, QCheckBox* centerBox, QCheckBox* scaleBox,
                   void (cExprData::*norm)(bool center, bool scale));
    // Fills mCon with one line per array or gene: its number put into the
    // pattern `number` ("#%1: "), then its text.
    void PrintList(int count, const char* number, const std::function<QString(int)>& text);
    // The course of every result file: a table and a matrix are there, the
    // name comes from dlgSave (or its preset, when taken), and the window is
    // busy while `write` makes the file; a refusal or failure is reported.
    void SaveResult(bool takePreset, const std::function<std::string(const char* path)>& write);
    // Pattern detection and the map drawn, without the checks of their buttons
    // (the ends of the jobs run them while the job still counts).
    void DetectPatterns();
    void DrawMap();
    // The ends of the jobs.
    void LoadEnded(cJob* job);
    void CalcCEEnded(cJob* job);
    void RenewCEEnded(const QString& error);
    // The displays of a matrix (pattern list and chart, counts, the gene tab's
    // co-expression chart) back to their start-up look: the matrix went.
    void ClearMatrixDisplays();
    // The pattern chart's axes before any pattern is detected.
    void SetEmptyPatternAxes();
    // The gene track bars and the gene tab for a newly loaded table.
    void TableLoaded();
    // Whether a power and threshold can be used by the calculation.
    static bool ValidCEParameters(int p, double t, QString* message);

  public:
    // "1532 (3%)": missing values of a table and their truncated percentage.
    static QString MissingText(const cExprData* d);

  private:
    cAnalysis* Analysis;           // the session: table, matrix, R state, job
    bool Running = false;          // btCalcCE is the cancel button
    bool CalcDone = false;         // at least one Calculate CE finished (caption black)
    bool PatternsUnlocked = false; // a measure change enabled "Detect CE patterns"
    int SyncBusy = 0;              // actions on the window thread holding the busy indicator
    QPointer<cJob> RSearch;        // the start-up check of R, while it runs
};
