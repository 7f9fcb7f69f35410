#include "Accessibility.h"

#include "AlertLabel.h"
#include "CircleButton.h"
#include "ServiceExchange.h"
#include "VerticalScroll.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QAccessibleWidget>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QStringList>

namespace talvora {

namespace {

class WheelAccessible : public QAccessibleWidget, public QAccessibleValueInterface
{
public:
    explicit WheelAccessible(VerticalScroll* wheel) : QAccessibleWidget(wheel, QAccessible::SpinBox) {}

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ValueInterface) {
            return static_cast<QAccessibleValueInterface*>(this);
        }
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text kind) const override
    {
        if (kind == QAccessible::Value) {
            return QString::number(wheel()->currentValue());
        }
        return QAccessibleWidget::text(kind);
    }

    QVariant currentValue() const override { return wheel()->currentValue(); }
    void setCurrentValue(const QVariant& value) override
    {
        wheel()->setCurrentValue(qBound(wheel()->minimum(), value.toInt(), wheel()->maximum()));
        wheel()->update();
    }
    QVariant maximumValue() const override { return wheel()->maximum(); }
    QVariant minimumValue() const override { return wheel()->minimum(); }
    QVariant minimumStepSize() const override { return wheel()->step(); }

private:
    VerticalScroll* wheel() const { return static_cast<VerticalScroll*>(widget()); }
};

// A button that a screen reader can press. Every button of the client gets
// this interface rather than Qt's, whose press action clicks past the gate:
// a press counts as any other action on the button.
class PressableAccessible : public QAccessibleWidget
{
public:
    PressableAccessible(QAbstractButton* button, QAccessible::Role role) : QAccessibleWidget(button, role) {}

    QString text(QAccessible::Text kind) const override
    {
        if (kind == QAccessible::Name && widget()->accessibleName().isEmpty()) {
            QString shown = button()->text();
            shown.remove(QRegularExpression(QStringLiteral("&(?!&)")));
            if (!shown.isEmpty()) {
                return shown;
            }
        }
        return QAccessibleWidget::text(kind);
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.checkable = button()->isCheckable();
        state.checked = button()->isChecked();
        state.pressed = button()->isDown();
        if (const auto* push = qobject_cast<const QPushButton*>(button())) {
            state.defaultButton = push->isDefault();
        }
        return state;
    }

    QStringList actionNames() const override
    {
        return QStringList(pressAction()) + QAccessibleWidget::actionNames();
    }

    void doAction(const QString& action) override
    {
        if (action == pressAction()) {
            if (button()->isEnabled() && !actionHeld(button())) {
                button()->click();
            }
            return;
        }
        QAccessibleWidget::doAction(action);
    }

protected:
    QAbstractButton* button() const { return static_cast<QAbstractButton*>(widget()); }
};

// A push button whose own text is empty and whose face is made of labels.
class LabelledButtonAccessible : public PressableAccessible
{
public:
    explicit LabelledButtonAccessible(QPushButton* button) : PressableAccessible(button, QAccessible::Button)
    {
    }

    QString text(QAccessible::Text kind) const override
    {
        const QString own = kind == QAccessible::Name          ? widget()->accessibleName()
                            : kind == QAccessible::Description ? widget()->accessibleDescription()
                                                               : QString();
        if (!own.isEmpty()) {
            return own;
        }
        const bool named = !widget()->accessibleName().isEmpty();
        if ((kind == QAccessible::Name && !named) || (kind == QAccessible::Description && named)) {
            return labelsText();
        }
        return QAccessibleWidget::text(kind);
    }

    static bool fits(const QPushButton* button)
    {
        return button->text().isEmpty() && button->findChild<QLabel*>() != nullptr;
    }

private:
    QString labelsText() const
    {
        QStringList texts;
        for (const QLabel* label : widget()->findChildren<QLabel*>()) {
            if (!label->text().isEmpty()) {
                texts.append(label->text());
            }
        }
        return texts.join(QLatin1Char(' '));
    }
};

class PageDotAccessible : public PressableAccessible
{
public:
    explicit PageDotAccessible(CircleButton* dot) : PressableAccessible(dot, QAccessible::PageTab) {}

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.selectable = true;
        state.selected = static_cast<CircleButton*>(widget())->isCurrentPage();
        return state;
    }
};

class AlertLabelAccessible : public QAccessibleWidget
{
public:
    explicit AlertLabelAccessible(QLabel* line) : QAccessibleWidget(line, QAccessible::AlertMessage) {}

    QString text(QAccessible::Text kind) const override
    {
        if (kind == QAccessible::Name && widget()->accessibleName().isEmpty()) {
            return static_cast<QLabel*>(widget())->text();
        }
        return QAccessibleWidget::text(kind);
    }
};

QAccessibleInterface* createInterface(const QString& className, QObject* object)
{
    if (className == QLatin1String("VerticalScroll")) {
        return new WheelAccessible(static_cast<VerticalScroll*>(object));
    }
    if (className == QLatin1String("CircleButton")) {
        return new PageDotAccessible(static_cast<CircleButton*>(object));
    }
    if (className == QLatin1String("AlertLabel")) {
        return new AlertLabelAccessible(static_cast<AlertLabel*>(object));
    }
    if (className == QLatin1String("QPushButton")) {
        auto* button = static_cast<QPushButton*>(object);
        if (LabelledButtonAccessible::fits(button)) {
            return new LabelledButtonAccessible(button);
        }
        return new PressableAccessible(button, QAccessible::Button);
    }
    return nullptr;
}

} // namespace

void installAccessibleInterfaces()
{
    static const bool installed = [] {
        QAccessible::installFactory(createInterface);
        return true;
    }();
    Q_UNUSED(installed);
}

} // namespace talvora
