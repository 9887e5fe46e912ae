#include "gui/widgets/FitText.h"

#include <QCheckBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <algorithm>

namespace FitText {

namespace {

// The room that a holder leaves to the right of its widest visible control.
int rightMargin(const QWidget *holder)
{
    int right = 0;
    for (const QObject *child : holder->children()) {
        const auto *control = qobject_cast<const QWidget *>(child);
        if (control && !control->isWindow() && !control->isHidden())
            right = std::max(right, control->x() + control->width());
    }
    return std::max(0, holder->width() - right);
}

// Widens `widget` by `extra` pixels, and each holder up to the dialog as far as it needs to keep
// its right margin.
void grow(QWidget *widget, int extra, QDialog *dialog)
{
    QWidget *holder = widget->parentWidget();
    const int margin = rightMargin(holder);
    widget->resize(widget->width() + extra, widget->height());
    const int needed = widget->x() + widget->width() + margin - holder->width();
    if (needed <= 0)
        return;
    if (holder == dialog)
        dialog->setFixedSize(dialog->width() + needed, dialog->height());
    else
        grow(holder, needed, dialog);
}

int textWidth(QWidget *widget)
{
    if (qobject_cast<QGroupBox *>(widget))
        return widget->minimumSizeHint().width();
    // Push buttons are left out: their size hint holds the style's minimum button width.
    if (qobject_cast<QLabel *>(widget) || qobject_cast<QCheckBox *>(widget) ||
        qobject_cast<QRadioButton *>(widget))
        return widget->sizeHint().width();
    return 0;
}

} // namespace

void widenToTexts(QDialog *dialog)
{
    // Controls come before the frames that hold them, so that a frame grown for its controls
    // is measured for its own title afterwards.
    QList<QWidget *> controls = dialog->findChildren<QWidget *>();
    std::reverse(controls.begin(), controls.end());
    for (QWidget *control : controls) {
        if (!control->isVisibleTo(dialog))
            continue;
        const int extra = textWidth(control) - control->width();
        if (extra > 0)
            grow(control, extra, dialog);
    }
}

} // namespace FitText
