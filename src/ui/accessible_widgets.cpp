#include "ui/accessible_widgets.h"

#include <QAccessibleWidget>
#include <QWidget>

namespace quorvel {

namespace {

class ValueWidgetAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
 public:
  ValueWidgetAccessible(QWidget* widget, const AccessibleValueSource& source)
      : QAccessibleWidget(widget, source.accessibleRole()), source_(source) {}

  void* interface_cast(QAccessible::InterfaceType type) override {
    if (type == QAccessible::ValueInterface) return static_cast<QAccessibleValueInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
  }

  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Value) return source_.accessibleValue().text;
    return QAccessibleWidget::text(t);
  }

  QVariant currentValue() const override { return source_.accessibleValue().current; }
  void setCurrentValue(const QVariant&) override {}  // read-only: the window's own controls move it
  QVariant maximumValue() const override { return source_.accessibleValue().maximum; }
  QVariant minimumValue() const override { return source_.accessibleValue().minimum; }
  QVariant minimumStepSize() const override { return 1; }

 private:
  const AccessibleValueSource& source_;
};

QAccessibleInterface* ValueWidgetFactory(const QString&, QObject* object) {
  if (object == nullptr || !object->isWidgetType()) return nullptr;
  auto* source = dynamic_cast<AccessibleValueSource*>(object);
  if (source == nullptr) return nullptr;
  return new ValueWidgetAccessible(static_cast<QWidget*>(object), *source);
}

}  // namespace

void InstallAccessibleValueWidgets() {
  static const bool installed = [] {
    QAccessible::installFactory(ValueWidgetFactory);
    return true;
  }();
  (void)installed;
}

void NotifyAccessibleValue(QWidget* widget) {
  if (!QAccessible::isActive()) return;
  auto* source = dynamic_cast<AccessibleValueSource*>(widget);
  if (source == nullptr) return;
  QAccessibleValueChangeEvent event(widget, source->accessibleValue().current);
  QAccessible::updateAccessibility(&event);
}

}  // namespace quorvel
