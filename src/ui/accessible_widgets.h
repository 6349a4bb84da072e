#pragma once
// What a screen reader learns of the controls the window paints itself: the
// frame strip (where the cursor is), the scroll bar (which frames are in
// view) and the progress area (how far an operation is). Each reports a
// role, a value between a minimum and a maximum, and that value as text.

#include <QAccessible>
#include <QString>

class QWidget;

namespace quorvel {

struct AccessibleValue {
  double current = 0;
  double minimum = 0;
  double maximum = 0;
  QString text;
};

// A painted control that has a value to report.
class AccessibleValueSource {
 public:
  virtual ~AccessibleValueSource() = default;
  virtual QAccessible::Role accessibleRole() const = 0;
  virtual AccessibleValue accessibleValue() const = 0;
};

// Makes the accessibility layer describe every widget that is an
// AccessibleValueSource through it. Installed once; later calls do nothing.
void InstallAccessibleValueWidgets();

// Tells a listening screen reader that the widget's value changed.
void NotifyAccessibleValue(QWidget* widget);

}  // namespace quorvel
