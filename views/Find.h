// Find dialog: lists the genes whose ID and/or name contain the typed texts
// and hands the chosen gene's number back to the gene selection.
#pragma once

#include <QDialog>

class QGroupBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class cAnalysisSource;
class cExprData;

class TfmFind : public QDialog {
    Q_OBJECT
  public:
    explicit TfmFind(const cAnalysisSource* source, QWidget* parent = nullptr);

  public slots:
    // Fills liResults from the main window's current table (nothing without one).
    void btFindClick();
    // Sets takenGene from the selected line: 0 when no line is selected.
    void btTakeClick();
    // Double click on a line: takes it and closes the dialog with OK.
    void liResultsDblClick();

    // Shows the dialog modally; on OK with a taken gene in 1..N of the current
    // table, emits geneTaken(which, gene). Returns whether it did.
    bool TakeGene(int which);

  signals:
    // The user took gene (1-based) for the selection `which` (1 blue, 2 green).
    void geneTaken(int which, int gene);

  public:
    // Same as btFindClick, from the given table (null: nothing happens).
    void FindIn(const cExprData* data);

    // The line listed for a gene (0-based index): "#n:  ID  name", n 1-based.
    static QString ResultLine(int gene, const char* id, const char* name);
    // The gene number of a result line: the text before its first ":", less
    // its first character; 0 when that is not a number.
    static int LineGene(const QString& line);

    int takenGene = 0; // 1-based gene of the last take, 0 for none

    QGroupBox* GroupBox1;
    QLineEdit* edID;
    QLineEdit* edName;
    QPushButton* btFind;
    QPushButton* btTake;
    QListWidget* liResults;

  private:
    const cAnalysisSource* Source;
};
