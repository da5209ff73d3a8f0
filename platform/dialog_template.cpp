// The builder that turns dialog templates into Qt widgets, the fixed base units per template
// font and the mapping of template fonts to installed fonts. User-interface thread only.
#include "platform/dialog_template.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QFont>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTreeWidget>
#include <QVariant>
#include <cmath>

#include "platform/resources.h"
#include "platform/send_box.h"

namespace {

const char* const kControlIdProperty = "wl_control_id";
// A static icon control sizes itself to the standard icon size, whatever the template says.
constexpr int kIconControlSize = 32;
constexpr int kIdOk = 1;
const QString kChineseFallbackFamily = QStringLiteral("WenQuanYi Micro Hei");

// Base units per template font, fixed so that layouts do not depend on the machine's fonts.
// Windows derives them at 96 DPI from the font: cx = average advance of A-Z a-z, cy = the text
// height (ascent + descent, each rounded up). Values for the stand-in fonts, which share the
// metrics of the fonts the templates name:
//   "MS Shell Dlg" 8          11 px  6 x 13  (the system dialog font)
//   "MS Shell Dlg" 9          12 px  7 x 14
//   "Microsoft Sans Serif" 10 13 px  8 x 15
//   "宋体" 9                  12 px  6 x 12  (half-width Latin cells of 6 px, 12 px lines)
//   "Times New Roman" 8       11 px  6 x 14  (the height as on the machines the page templates
//                                             were laid out on: 302 units then fill the
//                                             frame's 529-pixel page area exactly)
struct FontBaseUnits {
    const char* face;
    int points;
    DialogBaseUnits units;
};
const FontBaseUnits kBaseUnits[] = {
    {"MS Shell Dlg", 8, {6, 13}},         {"MS Shell Dlg", 9, {7, 14}},
    {"Microsoft Sans Serif", 8, {6, 13}}, {"Microsoft Sans Serif", 10, {8, 15}},
    {"Times New Roman", 8, {6, 14}},      {"宋体", 9, {6, 12}},
};

// A template's text in the interface's language: the templates hold the Chinese texts, the
// translation is looked up as each dialog is built.
QString ShownText(const QString& text) {
    return text.isEmpty()
               ? text
               : QCoreApplication::translate("DialogTemplates", text.toUtf8().constData());
}

bool HasStyle(const ControlTemplate& control, const char* style) {
    return control.styles.contains(QLatin1String(style));
}

QWidget* CreateStandardControl(const ControlTemplate& control, QWidget* parent) {
    switch (control.kind) {
        case ControlKind::PushButton:
        case ControlKind::DefaultPushButton: {
            auto* button = new QPushButton(control.text, parent);
            button->setDefault(control.kind == ControlKind::DefaultPushButton);
            button->setAutoDefault(false);
            return button;
        }
        case ControlKind::Edit:
        case ControlKind::DigitsEdit: {
            auto* edit = new QLineEdit(control.text, parent);
            if (control.kind == ControlKind::DigitsEdit) {
                edit->setValidator(new QRegularExpressionValidator(
                    QRegularExpression(QStringLiteral("[0-9]*")), edit));
            }
            edit->setReadOnly(HasStyle(control, "ES_READONLY"));
            return edit;
        }
        case ControlKind::PlainTextView:
        case ControlKind::PlainTextEdit: {
            // Every editable box pastes through CSendBox (Qt's own paste can crash).
            auto* text = control.kind == ControlKind::PlainTextEdit ? new CSendBox(parent)
                                                                    : new QPlainTextEdit(parent);
            text->setReadOnly(control.kind == ControlKind::PlainTextView);
            text->setPlainText(control.text);
            // Logs are long lines of raw traffic: wrap at the widget edge like the edit control.
            text->setLineWrapMode(HasStyle(control, "ES_AUTOHSCROLL") &&
                                          !HasStyle(control, "WS_VSCROLL")
                                      ? QPlainTextEdit::NoWrap
                                      : QPlainTextEdit::WidgetWidth);
            return text;
        }
        case ControlKind::GroupBox:
            return new QGroupBox(control.text, parent);
        case ControlKind::Label: {
            auto* label = new QLabel(control.text, parent);
            label->setTextFormat(Qt::PlainText);
            label->setWordWrap(true);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            return label;
        }
        case ControlKind::Icon: {
            auto* label = new QLabel(parent);
            const QIcon icon = LoadIconResource(control.iconId);
            label->setPixmap(icon.pixmap(kIconControlSize, kIconControlSize));
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            return label;
        }
        case ControlKind::TreeView: {
            auto* tree = new QTreeWidget(parent);
            tree->setHeaderHidden(true);
            tree->setColumnCount(1);
            return tree;
        }
        case ControlKind::ComboBox:
            return new QComboBox(parent);
        case ControlKind::CheckBox:
            return new QCheckBox(control.text, parent);
    }
    return new QWidget(parent);
}

}  // namespace

DialogBaseUnits BaseUnitsFor(const QString& fontFace, int fontPoints) {
    for (const FontBaseUnits& entry : kBaseUnits) {
        if (fontFace == QString::fromUtf8(entry.face) && fontPoints == entry.points) {
            return entry.units;
        }
    }
    // Another font: scale the system dialog font's units by the point size.
    return {static_cast<int>(std::lround(6.0 * fontPoints / 8.0)),
            static_cast<int>(std::lround(13.0 * fontPoints / 8.0))};
}

QRect UnitsToPixels(const QRect& units, DialogBaseUnits base) {
    // Windows' MapDialogRect: each edge is converted on its own, rounding down.
    const int left = units.x() * base.cx / 4;
    const int top = units.y() * base.cy / 8;
    const int right = (units.x() + units.width()) * base.cx / 4;
    const int bottom = (units.y() + units.height()) * base.cy / 8;
    return {left, top, right - left, bottom - top};
}

QString ResolveFontFamily(const QString& templateFace) {
    if (templateFace == QLatin1String("Times New Roman")) {
        return QStringLiteral("Liberation Serif");
    }
    if (templateFace == QLatin1String("Arial") || templateFace == QLatin1String("MS Shell Dlg") ||
        templateFace == QLatin1String("MS Shell Dlg 2") ||
        templateFace == QLatin1String("Microsoft Sans Serif") ||
        templateFace == QLatin1String("MS Sans Serif") || templateFace == QLatin1String("Tahoma")) {
        return QStringLiteral("Liberation Sans");
    }
    if (templateFace == QStringLiteral("宋体") || templateFace == QLatin1String("SimSun") ||
        templateFace == QStringLiteral("微软雅黑") ||
        templateFace == QLatin1String("Microsoft YaHei")) {
        return kChineseFallbackFamily;
    }
    return templateFace;
}

void InstallFontSubstitutions() {
    const char* const faces[] = {"Arial",
                                 "Times New Roman",
                                 "MS Shell Dlg",
                                 "MS Shell Dlg 2",
                                 "Microsoft Sans Serif",
                                 "MS Sans Serif",
                                 "Tahoma",
                                 "宋体",
                                 "SimSun"};
    for (const char* face : faces) {
        const QString name = QString::fromUtf8(face);
        QFont::insertSubstitutions(name, {ResolveFontFamily(name), kChineseFallbackFamily});
    }
}

QFont TemplateFont(const QString& templateFace, int points) {
    QFont font;
    // Chinese text falls back to WenQuanYi so that it never shows as boxes.
    font.setFamilies({ResolveFontFamily(templateFace), kChineseFallbackFamily});
    // Pixel size as at 96 DPI, whatever the screen says, so texts fit their controls.
    font.setPixelSize(static_cast<int>(std::lround(points * 96.0 / 72.0)));
    return font;
}

void BuildDialogFromTemplate(QWidget* dialog, int templateId,
                             const std::map<int, ControlFactory>& factories) {
    const DialogTemplate* dialogTemplate = FindDialogTemplate(templateId);
    if (dialogTemplate == nullptr) {
        return;
    }
    const DialogBaseUnits base = BaseUnitsFor(dialogTemplate->fontFace, dialogTemplate->fontPoints);
    dialog->setFont(TemplateFont(dialogTemplate->fontFace, dialogTemplate->fontPoints));
    if (!dialogTemplate->caption.isEmpty()) {
        dialog->setWindowTitle(ShownText(dialogTemplate->caption));
    }
    const QRect client = UnitsToPixels(QRect(QPoint(0, 0), dialogTemplate->units), base);
    if (dialogTemplate->units.isValid()) {
        dialog->resize(client.size());
    }
    if (dialogTemplate->styles.contains(QLatin1String("DS_MODALFRAME"))) {
        dialog->setFixedSize(client.size());
    }

    bool hasDefaultButton = false;
    for (const ControlTemplate& control : dialogTemplate->controls) {
        hasDefaultButton = hasDefaultButton || control.kind == ControlKind::DefaultPushButton;
    }
    for (const ControlTemplate& templateControl : dialogTemplate->controls) {
        ControlTemplate control = templateControl;
        control.text = ShownText(control.text);
        QWidget* widget = nullptr;
        const auto factory = factories.find(control.id);
        if (control.id != -1 && factory != factories.end() && factory->second) {
            widget = factory->second(control, dialog);
        }
        if (widget == nullptr) {
            widget = CreateStandardControl(control, dialog);
        }
        if (widget->parentWidget() != dialog) {
            widget->setParent(dialog);
        }
        QRect geometry = UnitsToPixels(control.units, base);
        if (control.kind == ControlKind::Icon) {
            geometry.setSize(QSize(kIconControlSize, kIconControlSize));
        }
        // A combo box's template height is that of its drop-down list; the closed box keeps
        // the height of one line.
        if (control.kind == ControlKind::ComboBox) {
            if (auto* combo = qobject_cast<QComboBox*>(widget)) {
                const int rowHeight = std::max(1, combo->fontMetrics().height() + 2);
                combo->setMaxVisibleItems(std::max(1, geometry.height() / rowHeight - 1));
            }
            geometry.setHeight(widget->sizeHint().height());
        }
        widget->setGeometry(geometry);
        // Group boxes only frame the controls inside them: keep them beneath, so that they
        // never take the clicks meant for those controls.
        if (control.kind == ControlKind::GroupBox) {
            widget->lower();
        }
        SetControlId(widget, control.id);
        // Return in a dialog presses OK when no button is marked default (the dialog's
        // default command is OK).
        if (!hasDefaultButton && control.id == kIdOk && control.kind == ControlKind::PushButton) {
            if (auto* button = qobject_cast<QPushButton*>(widget)) {
                button->setDefault(true);
            }
        }
        if (HasStyle(control, "WS_DISABLED")) {
            widget->setEnabled(false);
        }
        if (!HasStyle(control, "NOT WS_VISIBLE")) {
            widget->show();
        } else {
            widget->hide();
        }
    }
}

QWidget* FindControl(QWidget* dialog, int id) {
    if (dialog == nullptr || id == -1) {
        return nullptr;
    }
    const QList<QWidget*> children = dialog->findChildren<QWidget*>();
    for (QWidget* child : children) {
        if (ControlId(child) == id) {
            return child;
        }
    }
    return nullptr;
}

int ControlId(const QWidget* control) {
    if (control == nullptr) {
        return -1;
    }
    const QVariant value = control->property(kControlIdProperty);
    return value.isValid() ? value.toInt() : -1;
}

void SetControlId(QWidget* control, int id) {
    control->setProperty(kControlIdProperty, id);
}
