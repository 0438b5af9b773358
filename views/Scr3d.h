// The 3D network window.
#pragma once

#include <QWidget>

class TfmScr3D : public QWidget {
    Q_OBJECT
  public:
    explicit TfmScr3D(QWidget* parent = nullptr);
};
