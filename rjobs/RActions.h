// The main window's R actions: start-up discovery of R, the R options button, custom
// preprocessing ("Start processing") and the network layout ("Network"). The main window forwards
// its handlers here with a cRHost that gives access to its state and controls.
#pragma once

#include <QString>

#include <functional>
#include <optional>

class cCEMatrix;
class cJob;
class cExprData;
class QWidget;
class TfmRParam;
class TfmScr3D;
struct cNetworkLayout;

struct cRHost {
    QWidget* Window = nullptr; // parent of the job dialog
    QString StartFolder;       // the program's folder; the R scripts lie in its "scripts"
    QString* RFolder = nullptr;
    bool* RAvailable = nullptr;

    std::function<const cExprData*()> Data;   // the loaded table, or null
    std::function<const cCEMatrix*()> Matrix; // the co-expression matrix, or null
    std::function<QString()> DataPath;        // lbPath: folder of the loaded file
    std::function<QString()> DataFile;        // lbFileName: name of the loaded file
    std::function<QString()> OutName;         // edFileNameOut
    std::function<QString()> ScriptText;      // mRNorm
    // A message box with an OK button.
    std::function<void(const QString& caption, const QString& text)> Message;
    // A log line without a time stamp.
    std::function<void(const QString& text)> Log;
    // The R button's picture: imgR when found, imgNoR when not.
    std::function<void(bool found)> SetRGlyph;
    std::function<void(bool on)> Busy;
    // Runs an action's job. The window's session takes it and holds the table and the matrix
    // meanwhile; false when it refused (another job runs). Without it the job runs on its own.
    std::function<bool(cJob* job)> Start;
    // Load Data with dlgOpen preset to path.
    std::function<void(const QString& path)> LoadPreset;
    // Save filtered DATA with dlgSave preset to path.
    std::function<void(const QString& path)> SaveFilteredPreset;
};

// The last step of the main window's FormCreate: searches RSearchRoots(), then tries the hits from
// the last one back (cRProbe) without blocking the window. When that has ended, RFolder,
// RAvailable and the R button show the first hit that runs, and the log says why any was passed
// over. Returns the check, which ends and goes on its own (a child of host.Window when given);
// a folder chosen with the R options button meanwhile is kept.
cJob* SearchR(cRHost& host);
// btROptions: shows the R parameters dialog modally, then checks the folder it left.
void btROptionsClick(cRHost& host, TfmRParam* dialog);
// btRProcessing: runs the preprocessing script of mRNorm on the loaded table and loads the result.
// The checks are made at once (a refusal is a message); the R job then runs as a job, which ends
// before the result is loaded. Returns that job, or null when nothing was started.
cJob* btRProcessingClick(cRHost& host, TfmRParam* dialog);
// btNetwork: lays the co-expressed genes out with scripts/genes2pca.r and shows the 3D network, in
// the same way.
cJob* btNetworkClick(cRHost& host, TfmRParam* dialog, TfmScr3D* view);

// Reads the layout written by genes2pca.r: a header "ID\tPC1\tPC2\tPC3" and one line per gene with
// nCE > 0, in gene order, with that gene's ID. Empty when the file is missing or does not match
// the table; why (when given) then says what is wrong, worded to follow "cannot be read: ".
std::optional<cNetworkLayout> ReadPcaLayout(const QString& path, const cExprData& data,
                                            QString* why = nullptr);
