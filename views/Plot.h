#pragma once

#include <QWidget>

class TfmPlot : public QWidget {
    Q_OBJECT
  public:
    explicit TfmPlot(QWidget* parent = nullptr);
};
