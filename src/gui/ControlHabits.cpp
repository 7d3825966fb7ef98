#include "gui/ControlHabits.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>
#include <tuple>
#include <vector>

namespace vantorell {
namespace {

// A scroll area's own bar is the panel's, not a control.
bool isScrollAreaBar(const QWidget* widget)
{
    const QWidget* container = widget->parentWidget();
    return qobject_cast<const QScrollBar*>(widget) && container &&
           qobject_cast<const QAbstractScrollArea*>(container->parentWidget());
}

// The part of a spin box or an editable list that has the focus in its place.
bool isInnerPart(const QWidget* widget)
{
    const QWidget* parent = widget->parentWidget();
    return parent && (qobject_cast<const QAbstractSpinBox*>(parent) || qobject_cast<const QComboBox*>(parent));
}

bool changesWithWheel(const QWidget* widget)
{
    return qobject_cast<const QComboBox*>(widget) || qobject_cast<const QAbstractSpinBox*>(widget) ||
           (qobject_cast<const QAbstractSlider*>(widget) && !isScrollAreaBar(widget));
}

// Unfocused lists, spin boxes and sliders hand the wheel to the panel they sit in.
class WheelGuard final : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::Wheel)
            return false;
        auto* widget = static_cast<QWidget*>(watched);
        if (widget->hasFocus())
            return false;
        for (QWidget* up = widget->parentWidget(); up; up = up->parentWidget()) {
            if (auto* area = qobject_cast<QAbstractScrollArea*>(up)) {
                const auto* wheel = static_cast<QWheelEvent*>(event);
                const bool sideways = wheel->angleDelta().y() == 0 && wheel->angleDelta().x() != 0;
                QCoreApplication::sendEvent(sideways ? area->horizontalScrollBar() : area->verticalScrollBar(), event);
                break;
            }
        }
        return true;
    }
};

QString withoutMnemonic(QString text)
{
    text.remove(QRegularExpression(QStringLiteral("&(?!&)")));
    if (text.endsWith(QStringLiteral("...")))
        text.chop(3);
    return text.trimmed();
}

bool hasWords(const QString& text) { return text.contains(QRegularExpression(QStringLiteral("[A-Za-z]"))); }

QString buddyText(const QWidget* widget)
{
    for (const QLabel* label : widget->window()->findChildren<QLabel*>())
        if (label->buddy() == widget)
            return withoutMnemonic(label->text());
    return {};
}

QString groupTitle(const QWidget* widget)
{
    for (const QWidget* up = widget->parentWidget(); up; up = up->parentWidget())
        if (const auto* group = qobject_cast<const QGroupBox*>(up); group && hasWords(group->title()))
            return withoutMnemonic(group->title());
    return {};
}

// The name a screen reader says: the control's own caption, its label, or what its tooltip
// and group say of it.
QString derivedName(const QWidget* widget)
{
    if (const auto* button = qobject_cast<const QAbstractButton*>(widget); button && hasWords(button->text()))
        return withoutMnemonic(button->text());
    if (QString buddy = buddyText(widget); !buddy.isEmpty())
        return buddy;
    const QString group = groupTitle(widget);
    const QString tip = widget->toolTip().section(u'\n', 0, 0);
    if (qobject_cast<const QAbstractButton*>(widget) && !tip.isEmpty())
        return group.isEmpty() ? withoutMnemonic(tip) : withoutMnemonic(tip) + QStringLiteral(": ") + group;
    if (!group.isEmpty())
        return group;
    if (const auto* edit = qobject_cast<const QLineEdit*>(widget); edit && !edit->placeholderText().isEmpty())
        return edit->placeholderText();
    return tip;
}

void collectWidget(QWidget* widget, QList<QWidget*>& out);

void collectLayout(QLayout* layout, QList<QWidget*>& out)
{
    std::vector<std::tuple<int, int, int, QLayoutItem*>> items;   // row, column, index
    for (int i = 0; i < layout->count(); ++i) {
        int row = 0, column = 0, rowSpan = 0, columnSpan = 0;
        if (auto* grid = qobject_cast<QGridLayout*>(layout)) {
            grid->getItemPosition(i, &row, &column, &rowSpan, &columnSpan);
        } else if (auto* form = qobject_cast<QFormLayout*>(layout)) {
            QFormLayout::ItemRole role{};
            form->getItemPosition(i, &row, &role);
            column = int(role);
        }
        items.emplace_back(row, column, i, layout->itemAt(i));
    }
    std::sort(items.begin(), items.end(), [](const auto& a, const auto& b) {
        return std::tie(std::get<0>(a), std::get<1>(a), std::get<2>(a)) <
               std::tie(std::get<0>(b), std::get<1>(b), std::get<2>(b));
    });
    for (const auto& item : items) {
        QLayoutItem* entry = std::get<3>(item);
        if (QWidget* widget = entry->widget())
            collectWidget(widget, out);
        else if (QLayout* inner = entry->layout())
            collectLayout(inner, out);
    }
}

void collectWidget(QWidget* widget, QList<QWidget*>& out)
{
    if (isControl(widget)) {
        out << widget;
    } else if (auto* area = qobject_cast<QScrollArea*>(widget)) {
        if (area->widget())
            collectWidget(area->widget(), out);
    } else if (widget->layout()) {
        collectLayout(widget->layout(), out);
    }
}

}  // namespace

bool isControl(const QWidget* widget)
{
    if (isInnerPart(widget) || isScrollAreaBar(widget))
        return false;
    return qobject_cast<const QAbstractButton*>(widget) || qobject_cast<const QComboBox*>(widget) ||
           qobject_cast<const QAbstractSpinBox*>(widget) || qobject_cast<const QAbstractSlider*>(widget) ||
           qobject_cast<const QLineEdit*>(widget);
}

void guardWheel(QWidget* root)
{
    auto* guard = new WheelGuard(root);
    for (QWidget* widget : root->findChildren<QWidget*>()) {
        if (!changesWithWheel(widget))
            continue;
        widget->setFocusPolicy(Qt::StrongFocus);
        widget->installEventFilter(guard);
    }
}

void nameControls(QWidget* root)
{
    for (QWidget* widget : root->findChildren<QWidget*>()) {
        if (!isControl(widget))
            continue;
        if (widget->accessibleName().isEmpty())
            widget->setAccessibleName(derivedName(widget));
        if (widget->toolTip().isEmpty())
            widget->setToolTip(widget->accessibleName());
    }
}

QList<QWidget*> controlsInLayoutOrder(QWidget* root)
{
    QList<QWidget*> controls;
    collectWidget(root, controls);
    return controls;
}

void orderTabsByLayout(QWidget* root)
{
    QList<QWidget*> controls = controlsInLayoutOrder(root);
    controls.removeIf([](const QWidget* widget) { return !(widget->focusPolicy() & Qt::TabFocus); });
    for (qsizetype i = 1; i < controls.size(); ++i)
        QWidget::setTabOrder(controls[i - 1], controls[i]);
}

void settleControls(QWidget* root)
{
    guardWheel(root);
    nameControls(root);
    orderTabsByLayout(root);
}

}  // namespace vantorell
