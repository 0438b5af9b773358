#pragma once

#include <QDialog>

class TfmFind : public QDialog {
    Q_OBJECT
  public:
    explicit TfmFind(QWidget* parent = nullptr);
};
