// Dialog templates as data, and the builder that makes Qt widgets from them.
// Positions are in dialog units; pixels = units x the template font's base units
// (x * cx / 4, y * cy / 8), with fixed base units per font so layouts are the same on
// every machine.
#pragma once

#include <QRect>
#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <vector>

class QWidget;
class QDialog;
class QFont;

enum class ControlKind {
    PushButton,
    DefaultPushButton,
    Edit,           // single-line edit
    DigitsEdit,     // single-line edit that accepts digits only
    PlainTextView,  // read-only multi-line text (received and sent views)
    PlainTextEdit,  // editable multi-line text that accepts Return (send box)
    GroupBox,
    Label,
    Icon,
    TreeView,
    ComboBox,
    CheckBox,
};

struct ControlTemplate {
    int id;  // -1 for controls without an id (labels, group boxes)
    ControlKind kind;
    QRect units;  // x, y, width, height in dialog units
    QString text;
    int iconId = 0;  // ControlKind::Icon: resource id
    // The control's Windows styles by name ("WS_DISABLED", "ES_READONLY", "NOT WS_VISIBLE", ...).
    QStringList styles = {};
};

struct DialogTemplate {
    int id;
    QString caption;   // empty: child dialog without caption
    QString fontFace;  // as the template names it ("MS Shell Dlg", "宋体", ...)
    int fontPoints;
    QSize units;  // width, height in dialog units
    std::vector<ControlTemplate> controls;
    // The dialog's Windows styles by name ("DS_MODALFRAME", "WS_CHILD", ...).
    QStringList styles = {};
};

struct DialogBaseUnits {
    int cx;
    int cy;
};

const DialogTemplate* FindDialogTemplate(int id);
DialogBaseUnits BaseUnitsFor(const QString& fontFace, int fontPoints);
QRect UnitsToPixels(const QRect& units, DialogBaseUnits base);
// The installed font that stands in for a template font (same metrics).
QString ResolveFontFamily(const QString& templateFace);
// Makes the font names the program uses (Arial, "Times New Roman", "MS Shell Dlg",
// "Microsoft Sans Serif", "宋体") resolve to the installed stand-ins, with the Chinese font as
// fallback, for every QFont made by name. Idempotent; InstallQtMessagePump calls it.
void InstallFontSubstitutions();
// The font for a template font and size: the stand-in family with a Chinese fallback, at the
// pixel size Windows uses at 96 DPI.
QFont TemplateFont(const QString& templateFace, int points);

// Creates the widget for one control id; lets a page bind its own class (CTreeCtrlEx).
using ControlFactory = std::function<QWidget*(const ControlTemplate&, QWidget* parent)>;

// Builds the template's controls as children of `dialog`, sizes the dialog to the
// template and sets its caption and font. Controls listed in `factories` are made by
// their factory; others by the builder. Each control keeps its id for FindControl.
void BuildDialogFromTemplate(QWidget* dialog, int templateId,
                             const std::map<int, ControlFactory>& factories = {});

// The control with the given id inside `dialog`, or nullptr.
QWidget* FindControl(QWidget* dialog, int id);
template <typename T>
T* FindControlAs(QWidget* dialog, int id) {
    return dynamic_cast<T*>(FindControl(dialog, id));
}
// The id a control was built with, or -1.
int ControlId(const QWidget* control);
void SetControlId(QWidget* control, int id);
