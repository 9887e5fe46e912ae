#include "gui/session/Shape.h"

#include <QPainter>

Shape::Shape(QWidget *parent) : QWidget(parent), m_fillColor(0, 255, 0) {}

void Shape::setFillColor(const QColor &color)
{
    if (color == m_fillColor)
        return;
    m_fillColor = color;
    update();
}

void Shape::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::black);
    painter.setBrush(m_fillColor);
    painter.drawEllipse(rect().adjusted(0, 0, -1, -1));
}
