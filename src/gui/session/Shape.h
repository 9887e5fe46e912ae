#pragma once

#include <QColor>
#include <QWidget>

// A filled circle: the session window's activity indicator.
class Shape final : public QWidget {
    Q_OBJECT

public:
    explicit Shape(QWidget *parent = nullptr);

    QColor FillColor() const { return m_fillColor; }
    void setFillColor(const QColor &color);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_fillColor;
};
