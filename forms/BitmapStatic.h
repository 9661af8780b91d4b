#pragma once

#include <QLabel>

// A picture control whose bitmap can be painted with white as the transparent
// colour, so the parent's background shows through the white parts (the About
// box's logo). Without that option it paints like any QLabel.
class CBitmapStatic : public QLabel {
    Q_OBJECT
public:
    explicit CBitmapStatic(QWidget* parent = nullptr) : QLabel(parent) {}

    void SetTransparent(bool transparent);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool m_transparent = false;
};
