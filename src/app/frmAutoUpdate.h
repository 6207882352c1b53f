#pragma once

#include <QLabel>
#include <QWidget>

namespace velmora::app {

// The small window shown while an update downloads. Nothing in it can be operated.
class frmAutoUpdate : public QWidget {
    Q_OBJECT
  public:
    explicit frmAutoUpdate(QWidget* parent = nullptr);
    QLabel* Label1;
};

}  // namespace velmora::app
