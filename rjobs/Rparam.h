// The "R parameters" dialog: where Rcmd lives, and the text of the last job script.
#pragma once

#include <QDialog>

class TfmRParam : public QDialog {
    Q_OBJECT
  public:
    explicit TfmRParam(QWidget* parent = nullptr);
};
