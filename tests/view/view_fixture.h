#pragma once
// Documents built in memory for the view tests: one FrameTable record per frame.

#include <cstdint>

#include "core/document.h"
#include "core/document_ops.h"

namespace quorvel::testing {

struct FrameShape {
  uint8_t kbps = 9;
  uint8_t freqb = 0;
  uint8_t amplify0 = 150;
  uint8_t spec = 0;
  uint8_t stereo = 1;
  uint8_t fromfile = 0;
};

inline void AppendFrames(DocumentState& doc, int32_t n, FrameShape shape = {}) {
  for (int32_t i = 0; i < n; ++i) {
    frametype f;
    f.kbps = shape.kbps;
    f.freqb = shape.freqb;
    f.amplify0 = shape.amplify0;
    f.spec = shape.spec;
    f.stereo = shape.stereo;
    f.fromfile = shape.fromfile;
    doc.frames.push_back(f);
    doc.ref.push_back(doc.frameTableCount++);
    doc.gainLeft.push_back(0);
    doc.gainRight.push_back(0);
    ++doc.editCount;
  }
  doc.loaded = true;
  doc.viewStartMax = doc.editCount > 84 ? doc.editCount - 84 : 0;
}

inline void AppendBlank(DocumentState& doc, int bitrate = 9) {
  doc.ref.push_back(-BlankFrameCode(bitrate, 0, 1));
  doc.gainLeft.push_back(0);
  doc.gainRight.push_back(0);
  ++doc.editCount;
  doc.viewStartMax = doc.editCount > 84 ? doc.editCount - 84 : 0;
}

}  // namespace quorvel::testing
