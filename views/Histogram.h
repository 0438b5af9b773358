#pragma once

#include <QWidget>

class TfmHistogram : public QWidget {
    Q_OBJECT
  public:
    explicit TfmHistogram(QWidget* parent = nullptr);
};
