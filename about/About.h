// The About window: program name, version, a one-line description and a
// disclaimer shown as a message when its label is clicked.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

class TfmAbout : public QDialog {
    Q_OBJECT
  public:
    explicit TfmAbout(QWidget* parent = nullptr);

    // Shows the disclaimer message (the click on lbDisclaimer).
    void lbDisclaimerClick();

    static QString DisclaimerText();

    QLabel* imgLogo;
    QLabel* lbProgram;
    QLabel* lbVersion;
    QLabel* lbDescription;
    QLabel* lbDisclaimer;
    QPushButton* btOK;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
