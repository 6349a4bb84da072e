#include "view/view_state.h"

#include <algorithm>
#include <cmath>

#include "core/document_ops.h"
#include "core/mpeg_header.h"
#include "view/strip_model.h"

namespace quorvel {

bool SetViewStart(DocumentState& doc, int32_t viewStart) {
  doc.viewStartMax = ViewStartMaxFor(doc.editCount);
  const int32_t v = std::clamp(viewStart, 0, doc.viewStartMax);
  const bool moved = v != doc.viewStart;
  doc.viewStart = v;
  return moved;
}

bool PageView(DocumentState& doc, bool right) {
  const int64_t v = int64_t{doc.viewStart} + (right ? kVisibleFrames : -kVisibleFrames);
  return SetViewStart(doc, static_cast<int32_t>(std::clamp<int64_t>(v, 0, INT32_MAX)));
}

bool StepView(DocumentState& doc, bool right) {
  return SetViewStart(doc, right ? doc.viewStart + 1 : doc.viewStart - 1);
}

bool ViewToStart(DocumentState& doc) { return SetViewStart(doc, 0); }

bool ViewToEnd(DocumentState& doc) { return SetViewStart(doc, ViewStartMaxFor(doc.editCount)); }

bool FindCursor(DocumentState& doc) { return SetViewStart(doc, FindViewStart(doc)); }

bool StripLabelsDue(const DocumentState& doc) { return doc.stripLabelPos != doc.viewStart; }

void MarkStripLabelled(DocumentState& doc) { doc.stripLabelPos = doc.viewStart; }

int NextPagingInterval(int intervalMs) {
  if (intervalMs >= 81) return intervalMs - 80;
  return intervalMs > 40 ? 40 : 20;
}

int NextRepeatInterval(int intervalMs) {
  if (intervalMs >= 101) return intervalMs - 40;
  if (intervalMs >= 21) return intervalMs - 20;
  return intervalMs;
}

std::string PositionBoxText(const DocumentState& doc, int box) {
  return TimeText(TimeAtFrame(doc, box == 0 ? doc.cursor : doc.selectionEnd), 3);
}

int32_t StepFrame(const DocumentState& doc, int32_t v, bool up) {
  return up ? std::min(v + 1, doc.editCount) : std::max(v - 1, 0);
}

int32_t StepSecond(const DocumentState& doc, int32_t v, bool up) {
  const double now = TimeAtFrame(doc, v);
  const double t = up ? std::trunc(now + 1.5) : std::max(std::trunc(now - 0.5), 0.0);
  if (t > TimeAtFrame(doc, doc.editCount)) return doc.editCount;
  return std::clamp(FrameAtTime(doc, t), 0, std::max(doc.editCount, 0));
}

void SetBoxPosition(DocumentState& doc, int box, int32_t v) {
  v = std::clamp(v, 0, std::max(doc.editCount, 0));
  if (box == 0) {
    doc.cursor = v;
    SetSelectionExists(doc, false);
  } else {
    doc.selectionEnd = v;
    SetSelectionExists(doc, v != doc.cursor);
  }
}

}  // namespace quorvel
