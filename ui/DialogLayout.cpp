// SPDX-License-Identifier: GPL-3.0-or-later
// Dialog layout in dialog units.
#include "ui/DialogLayout.h"

#include "ui/IconLabel.h"

#include <QCheckBox>
#include <QDialog>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTreeWidget>

#include <climits>
#include <cstdlib>
#include <vector>

// The resource file lives in a static library: naming its initialiser keeps the linker from dropping
// it. Q_INIT_RESOURCE must stand outside any namespace.
static void InitResources() {
    Q_INIT_RESOURCE(res);
}

namespace {

// a * b / c rounded half away from zero, as dialog managers scale units.
int MulDiv(int a, int b, int c) {
    const long long product = static_cast<long long>(a) * b;
    const long long half = c / 2;
    return static_cast<int>(product >= 0 ? (product + half) / c : (product - half) / c);
}

QWidget* MakeControl(const res::ControlTemplate& control, const QRect& pixels, QDialog* dialog) {
    const QString text = QString::fromUtf8(control.text);
    switch (control.kind) {
        case res::ControlKind::PushButton:
        case res::ControlKind::DefPushButton: {
            auto* button = new QPushButton(text, dialog);
            button->setDefault(control.kind == res::ControlKind::DefPushButton);
            return button;
        }
        case res::ControlKind::Label: {
            auto* label = new QLabel(text, dialog);
            // Static texts start top left; a box of more than one line wraps at word boundaries.
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            label->setWordWrap(pixels.height() >= 2 * label->fontMetrics().height());
            label->setTextFormat(Qt::PlainText);
            if (control.style & res::kSunken) {
                label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
                // A framed label would otherwise indent its text by half a character at the top too,
                // which costs a line in boxes sized for the text.
                label->setIndent(0);
                label->setMargin(1);
            }
            return label;
        }
        case res::ControlKind::Icon: {
            QLabel* label = (control.style & res::kNotify) ? new CIconLabel(dialog) : new QLabel(dialog);
            const int side = std::min(pixels.width(), pixels.height());
            label->setPixmap(ProgramIcon().pixmap(side, side));
            label->setAlignment(Qt::AlignCenter);
            return label;
        }
        case res::ControlKind::Edit: {
            auto* edit = new QLineEdit(text, dialog);
            edit->setReadOnly(control.style & res::kReadOnly);
            edit->setFrame(!(control.style & res::kNoBorder));
            if (edit->isReadOnly()) {
                // Read-only fields show the dialog's colour, so they do not look editable.
                QPalette palette = edit->palette();
                palette.setColor(QPalette::Base, palette.color(QPalette::Window));
                edit->setPalette(palette);
            }
            return edit;
        }
        case res::ControlKind::CheckBox:
            return new QCheckBox(text, dialog);
        case res::ControlKind::TreeView: {
            auto* tree = new QTreeWidget(dialog);
            tree->setHeaderHidden(true);
            return tree;
        }
        case res::ControlKind::ListView: {
            auto* list = new QTableView(dialog);
            list->setSelectionBehavior(QAbstractItemView::SelectRows);
            list->setShowGrid(false);
            list->verticalHeader()->hide();
            return list;
        }
        case res::ControlKind::ProgressBar: {
            auto* bar = new QProgressBar(dialog);
            bar->setTextVisible(false);
            bar->setValue(0);
            return bar;
        }
    }
    return new QWidget(dialog);
}

// Mnemonics of a static text lead to the input field that follows it, never to a push button (which
// would be pressed instead).
bool TakesTextInput(res::ControlKind kind) {
    return kind == res::ControlKind::Edit || kind == res::ControlKind::TreeView ||
           kind == res::ControlKind::ListView;
}

// The templates were measured in a narrower font than most desktops use: a one-line static text that
// would be cut off grows to the right, up to the next control beside it or the dialog's margin.
void WidenOneLineTexts(QDialog* dialog, const std::vector<QWidget*>& widgets, int dialogWidth) {
    const int gap = MapDialogRect(dialog, QRect(0, 0, 2, 0)).width();
    for (QWidget* widget : widgets) {
        auto* label = qobject_cast<QLabel*>(widget);
        if (!label || label->wordWrap() || label->text().isEmpty() || !label->pixmap().isNull()) {
            continue;
        }
        const int need = label->sizeHint().width();
        if (need <= label->width()) {
            continue;
        }
        const QRect box = label->geometry();
        int limit = dialogWidth - gap;
        for (QWidget* other : widgets) {
            const QRect o = other->geometry();
            if (other != label && !other->isHidden() && o.left() >= box.right() && o.top() <= box.bottom() &&
                o.bottom() >= box.top()) {
                limit = std::min(limit, o.left() - gap);
            }
        }
        label->resize(std::max(box.width(), std::min(need, limit - box.left())), box.height());
    }
}

// What a screen reader calls a field: its label's text without the mnemonic mark and the colon.
QString AccessibleNameOf(const QLabel* label) {
    QString name = label->text();
    name.remove(u'&');
    while (name.endsWith(u':') || name.endsWith(u' ')) {
        name.chop(1);
    }
    return name;
}

bool IsField(const QWidget* widget) {
    return qobject_cast<const QLineEdit*>(widget) || qobject_cast<const QAbstractItemView*>(widget);
}

// Every field gets the label that stands left of it on its row or right above it as its buddy, and that
// label's text as its accessible name: screen readers announce it, and a click on the label focuses it.
void NameFieldsByTheirLabels(QDialog* dialog, const std::vector<QWidget*>& widgets) {
    const QSize near = MapDialogRect(dialog, QRect(0, 0, 4, 5)).size();
    for (QWidget* widget : widgets) {
        auto* label = qobject_cast<QLabel*>(widget);
        if (!label || label->text().isEmpty()) {
            continue;
        }
        QWidget* field = label->buddy();  // a mnemonic may have chosen it already
        const QRect l = label->geometry();
        int best = INT_MAX;
        for (QWidget* other : field ? std::vector<QWidget*>() : widgets) {
            const QRect f = other->geometry();
            if (!IsField(other) || !other->accessibleName().isEmpty()) {
                continue;
            }
            const bool beside = f.left() > l.left() && f.top() <= l.bottom() && f.bottom() >= l.top();
            const bool below = f.top() > l.bottom() && f.top() - l.bottom() <= near.height() &&
                               std::abs(f.left() - l.left()) <= near.width();
            // A field on the label's row before one below it.
            const int distance = beside ? f.left() - l.left() : INT_MAX / 2 + f.top() - l.top();
            if ((beside || below) && distance < best) {
                best = distance;
                field = other;
            }
        }
        if (field && field->accessibleName().isEmpty()) {
            label->setBuddy(field);
            field->setAccessibleName(AccessibleNameOf(label));
        }
    }
}

}  // namespace

QString ControlName(int id) {
    return QStringLiteral("ctl") + QString::number(id);
}

QWidget* GetDlgItem(const QWidget* dialog, int id) {
    if (!dialog) {
        return nullptr;
    }
    return dialog->findChild<QWidget*>(ControlName(id));
}

QSize DialogBaseUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const int width =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return QSize((width / 26 + 1) / 2, metrics.height());
}

QRect MapDialogRect(const QWidget* dialog, const QRect& units) {
    const QSize base = DialogBaseUnits(dialog->font());
    return QRect(MulDiv(units.x(), base.width(), 4), MulDiv(units.y(), base.height(), 8),
                 MulDiv(units.width(), base.width(), 4), MulDiv(units.height(), base.height(), 8));
}

QIcon ProgramIcon() {
    static const bool initialised = (InitResources(), true);
    (void)initialised;
    // One icon from the SVG and its PNG renditions: with the SVG plugins the PNGs serve their exact sizes
    // and the SVG every other; without them (a missing plugin package) the SVG is skipped and Qt scales
    // the nearest PNG, so no window is ever left without the icon.
    QIcon icon;
    icon.addFile(QStringLiteral(":/icon128.svg"));
    for (int side : {16, 24, 32, 48, 64, 128, 256}) {
        icon.addFile(QStringLiteral(":/icons/tandrel-%1.png").arg(side), QSize(side, side));
    }
    return icon;
}

void BuildDialog(QDialog* dialog, int templateId, const ControlFactory& factory) {
    const res::DialogTemplate* dialogTemplate = res::FindDialogTemplate(templateId);
    Q_ASSERT(dialogTemplate);
    if (!dialogTemplate) {
        return;
    }
    dialog->setWindowTitle(QString::fromUtf8(dialogTemplate->caption));
    dialog->setWindowIcon(ProgramIcon());
    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    if (dialogTemplate->systemMenu) {
        flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    }
    dialog->setWindowFlags(flags);

    std::vector<QWidget*> built;
    std::vector<QWidget*> focusChain;
    QLabel* pendingMnemonic = nullptr;
    for (const res::ControlTemplate& control : dialogTemplate->controls) {
        const QRect pixels = MapDialogRect(dialog, QRect(control.x, control.y, control.cx, control.cy));
        QWidget* widget = factory ? factory(control, dialog) : nullptr;
        if (!widget) {
            widget = MakeControl(control, pixels, dialog);
        } else if (widget->parentWidget() != dialog) {
            widget->setParent(dialog);
        }
        built.push_back(widget);
        widget->setObjectName(ControlName(control.id));
        widget->setGeometry(pixels);
        if (control.style & res::kHidden) {
            widget->setHidden(true);
        }
        if (control.style & res::kDisabled) {
            widget->setEnabled(false);
        }
        if (widget->focusPolicy() & Qt::TabFocus) {
            if (control.style & res::kTabStop) {
                focusChain.push_back(widget);
            } else {
                widget->setFocusPolicy(Qt::ClickFocus);
            }
        }
        if (pendingMnemonic && TakesTextInput(control.kind)) {
            pendingMnemonic->setBuddy(widget);
            pendingMnemonic = nullptr;
        }
        if (control.kind == res::ControlKind::Label && QString::fromUtf8(control.text).contains(u'&')) {
            if (auto* label = qobject_cast<QLabel*>(widget)) {
                pendingMnemonic = label;
            }
        }
        if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            if (control.id == res::IDOK) {
                QObject::connect(button, &QAbstractButton::clicked, dialog, &QDialog::accept);
            } else if (control.id == res::IDCANCEL) {
                QObject::connect(button, &QAbstractButton::clicked, dialog, &QDialog::reject);
            }
        }
    }
    WidenOneLineTexts(dialog, built, MapDialogRect(dialog, QRect(0, 0, dialogTemplate->cx, 0)).width());
    NameFieldsByTheirLabels(dialog, built);
    // Tab follows the template's order, also for widgets an owner created beforehand.
    for (size_t i = 1; i < focusChain.size(); ++i) {
        QWidget::setTabOrder(focusChain[i - 1], focusChain[i]);
    }
    dialog->setFixedSize(MapDialogRect(dialog, QRect(0, 0, dialogTemplate->cx, dialogTemplate->cy)).size());
}
