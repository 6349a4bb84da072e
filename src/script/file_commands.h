#pragma once
// The script commands that write files: SAVEAS, SAVE, SAVESELECTION, SPLIT.
// They run the save procedure, save selection and split without dialogs.

#include "core/context.h"

namespace quorvel {

void SaveAsCommand(Context& ctx);
void SaveCommand(Context& ctx);
void SaveSelectionCommand(Context& ctx);
void SplitCommand(Context& ctx);

}  // namespace quorvel
