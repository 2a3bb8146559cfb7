// The main window's client area in the desktop program: the views' drawing surface, their keys,
// wheel and pointer. Every paint draws what was asked for since the last one on the surface (an
// image of the whole area, which keeps what was drawn as a window does), then shows the part the
// system asked for.
#pragma once

#include <QImage>
#include <QWidget>

class ClientArea : public QWidget {
  public:
    ClientArea(int width, int height, QWidget* parent);
    // The surface as it stands (tests read its pixels).
    const QImage& Surface() const {
        return surface;
    }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    bool focusNextPrevChild(bool next) override;

  private:
    void DrawAskedFor();
    QImage surface;
    int wheelRest = 0; // a fine wheel's turns short of a notch
};
