// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A label that shows an icon and reports a left click, as an icon control that notifies its dialog.
// User-interface thread only.

#include <QLabel>

class CIconLabel final : public QLabel {
    Q_OBJECT
  public:
    explicit CIconLabel(QWidget* parent = nullptr);

  signals:
    // A left button press and release inside the label.
    void clicked();

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    bool m_bPressed = false;  // a left press began inside and has not been released yet
};
