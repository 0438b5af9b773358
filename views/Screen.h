#pragma once

#include <QWidget>

class TfmScreen : public QWidget {
    Q_OBJECT
  public:
    explicit TfmScreen(QWidget* parent = nullptr);
};
