#pragma once
// The progress display over the source information area: a 4-pixel frame in
// the strip's border colours and up to 56 dark green blocks, painted at the
// screen's device pixel ratio.

#include <QWidget>

#include "ui/accessible_widgets.h"

namespace quorvel {

class ProgressArea : public QWidget, public AccessibleValueSource {
  Q_OBJECT

 public:
  static constexpr int kMaxBlocks = 56;
  explicit ProgressArea(QWidget* parent);

  // Progress 0..1 as blocks: Round(p * 56 + 0.5), at most 56.
  void setProgress(double fraction);
  int blocks() const { return blocks_; }
  static int BlocksFor(double fraction);

  QAccessible::Role accessibleRole() const override { return QAccessible::ProgressBar; }
  // The blocks as a percentage of the whole.
  AccessibleValue accessibleValue() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int blocks_ = 0;
};

}  // namespace quorvel
