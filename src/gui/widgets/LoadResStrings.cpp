#include "gui/widgets/LoadResStrings.h"

#include "core/text/LoadResource.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QAction>
#include <QComboBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QSet>
#include <QTextEdit>
#include <QVariant>
#include <cmath>
#include <limits>
#include <vector>

namespace LoadResource {

namespace {

constexpr int JapaneseCharSet = 128;
constexpr int TablePointSize = 8;
constexpr auto TagProperty = "Tag";

// The number a text begins with (leading blanks, sign, digits, fraction, exponent), rounded to
// the nearest integer with halves going to the even neighbour; 0 when the text does not begin
// with a number. Tags and menu captions are read this way.
int numericValue(const QString &text)
{
    const int length = text.size();
    const auto isDigit = [&](int at) {
        return at < length && text.at(at) >= u'0' && text.at(at) <= u'9';
    };
    const auto isOneOf = [&](int at, QChar a, QChar b) {
        return at < length && (text.at(at) == a || text.at(at) == b);
    };
    int i = 0;
    while (i < length && text.at(i).isSpace())
        ++i;
    const int start = i;
    if (isOneOf(i, u'+', u'-'))
        ++i;
    int digits = 0;
    for (; isDigit(i); ++i)
        ++digits;
    if (i < length && text.at(i) == u'.') {
        for (++i; isDigit(i); ++i)
            ++digits;
    }
    if (digits == 0)
        return 0;
    if (isOneOf(i, u'e', u'E')) {
        int exponent = i + 1;
        if (isOneOf(exponent, u'+', u'-'))
            ++exponent;
        if (isDigit(exponent)) {
            i = exponent;
            while (isDigit(i))
                ++i;
        }
    }
    bool ok = false;
    const double value = text.mid(start, i - start).toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return 0;
    const double below = std::floor(value);
    const double fraction = value - below;
    double rounded = below + 1;
    if (fraction < 0.5 || (fraction == 0.5 && std::fmod(below, 2.0) == 0))
        rounded = below;
    if (rounded >= std::numeric_limits<int>::max())
        return std::numeric_limits<int>::max();
    if (rounded <= std::numeric_limits<int>::min())
        return std::numeric_limits<int>::min();
    return static_cast<int>(rounded);
}

int tagId(const QObject *object)
{
    return numericValue(object->property(TagProperty).toString());
}

// Entry 20 names a face of the original platform. The Western face stands for the desktop's
// own user-interface family; the Japanese one for a Japanese family that is installed.
QString tableFamily()
{
    const QString systemFamily = QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
    if (tableCharSet() != JapaneseCharSet)
        return systemFamily;
    const QString preferred = QStringLiteral("Noto Sans CJK JP");
    if (QFontDatabase::hasFamily(preferred))
        return preferred;
    const QStringList japanese = QFontDatabase::families(QFontDatabase::Japanese);
    return japanese.isEmpty() ? systemFamily : japanese.first();
}

QFont withTableFace(QFont font)
{
    font.setFamily(tableFamily());
    font.setPointSize(TablePointSize);
    font.setBold(false);
    return font;
}

// Sets a font on the widget that no longer follows its parent's font, so that a later change
// of the window's font passes it by.
void fixFont(QWidget *widget, QFont font)
{
    font.setResolveMask(QFont::AllPropertiesResolved);
    widget->setFont(font);
}

// The controls of a window: every widget of a standard control kind (labels, combo boxes, the
// menu bar, buttons, frames, text and number boxes), tagged or not, and every other widget that
// carries a "Tag" property, which is how a window marks a control of its own. Other widgets are
// Qt's helpers (viewports, scroll bars, plain containers) and are left alone. The children of a
// single control are its own parts (a combo box's line edit, a line edit's clear button, the
// menu bar's extension button) and are not visited. Windows inside the window (dialogs, menus,
// MDI sub-windows with their session windows) localize themselves and are not entered either.
enum class Kind { Label, ComboBox, MenuBar, Other };

struct Control {
    QWidget *widget;
    Kind kind;
    int id; // from the Tag; 0 when there is none
};

bool isSingleControl(const QWidget *widget)
{
    return qobject_cast<const QLabel *>(widget) || qobject_cast<const QComboBox *>(widget) ||
           qobject_cast<const QMenuBar *>(widget) ||
           qobject_cast<const QAbstractButton *>(widget) ||
           qobject_cast<const QLineEdit *>(widget) ||
           qobject_cast<const QAbstractSpinBox *>(widget) ||
           qobject_cast<const QTextEdit *>(widget) || qobject_cast<const QPlainTextEdit *>(widget);
}

bool isControl(const QWidget *widget)
{
    return isSingleControl(widget) || qobject_cast<const QGroupBox *>(widget) ||
           widget->property(TagProperty).isValid();
}

Kind kindOf(const QWidget *widget)
{
    if (qobject_cast<const QLabel *>(widget))
        return Kind::Label;
    if (qobject_cast<const QComboBox *>(widget))
        return Kind::ComboBox;
    if (qobject_cast<const QMenuBar *>(widget))
        return Kind::MenuBar;
    return Kind::Other;
}

void collectControls(const QWidget *parent, std::vector<Control> &controls)
{
    for (QObject *child : parent->children()) {
        auto *widget = qobject_cast<QWidget *>(child);
        if (!widget || widget->isWindow() || qobject_cast<QMdiSubWindow *>(widget))
            continue;
        if (isControl(widget))
            controls.push_back({widget, kindOf(widget), tagId(widget)});
        if (!isSingleControl(widget))
            collectControls(widget, controls);
    }
}

bool takesFont(const Control &control)
{
    switch (control.kind) {
    case Kind::ComboBox:
        return true;
    case Kind::MenuBar:
        return false;
    case Kind::Label:
    case Kind::Other:
        break;
    }
    return control.id > 0;
}

void setCaption(QWidget *widget, const QString &text)
{
    if (auto *label = qobject_cast<QLabel *>(widget))
        label->setText(text);
    else if (auto *button = qobject_cast<QAbstractButton *>(widget))
        button->setText(text);
    else if (auto *frame = qobject_cast<QGroupBox *>(widget))
        frame->setTitle(text);
}

void localizeMenuItems(const QList<QAction *> &items, QSet<const QMenu *> &visited)
{
    for (QAction *item : items) {
        const int id = numericValue(item->text());
        if (id > 0 && HasResString(id))
            item->setText(LoadResString(id));
        QMenu *submenu = item->menu();
        if (submenu && !visited.contains(submenu)) {
            visited.insert(submenu);
            localizeMenuItems(submenu->actions(), visited);
        }
    }
}

void localizeControl(const Control &control, const QFont &font)
{
    if (takesFont(control))
        control.widget->setFont(font);
    switch (control.kind) {
    case Kind::ComboBox:
        return;
    case Kind::MenuBar: {
        QSet<const QMenu *> visited;
        localizeMenuItems(control.widget->actions(), visited);
        return;
    }
    case Kind::Label:
    case Kind::Other:
        break;
    }
    if (control.id > 0 && HasResString(control.id))
        setCaption(control.widget, LoadResString(control.id));
    if (control.kind != Kind::Other)
        return;
    const int tipId = numericValue(control.widget->toolTip());
    if (tipId > 0 && HasResString(tipId))
        control.widget->setToolTip(LoadResString(tipId));
}

} // namespace

QFont tableFont()
{
    return withTableFace(QGuiApplication::font());
}

int tableCharSet()
{
    return numericValue(LoadResString(21));
}

void LoadResStrings(QWidget *window)
{
    if (!window)
        return;
    std::vector<Control> controls;
    collectControls(window, controls);

    // Controls that do not take the table font keep their design font, which until now they
    // may only have inherited from the window.
    for (const Control &control : controls) {
        if (!takesFont(control))
            fixFont(control.widget, control.widget->font());
    }

    const int captionId = tagId(window);
    if (captionId > 0 && HasResString(captionId))
        window->setWindowTitle(LoadResString(captionId));

    QFont font = withTableFace(window->font());
    font.setResolveMask(QFont::AllPropertiesResolved);
    window->setFont(font);

    for (const Control &control : controls)
        localizeControl(control, font);
}

} // namespace LoadResource
