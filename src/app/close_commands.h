#pragma once
// Closing the document, the program and every instance: the File menu's three
// close items and the rules the window applies to them.

#include "core/context.h"

namespace quorvel {

extern const char* const kCloseProgramCaption;        // " Close the program    (Alt+F4)"
extern const char* const kCloseAllInstancesCaption;   // " Close all instances    (Shift+F4)"
extern const char* const kCloseDocumentCaption;       // " &Close (not needed)    (Ctrl+F4)"
// The window's caption while it closes all instances, so that no instance takes
// it for one still to close.
extern const char* const kClosingAllInstancesCaption;  // " closing all instances..."

// Whether closing the document ends the program: the option " Automatically
// e&xit the program when closing a file..." is "&Always", or its middle choice
// and the program was started with a file.
bool AutoExitOnClose(const Options& options, bool calledWithFile);

// " &Close (not needed)": closes the document, asking "Save changes?" when the
// options say so, and then closes the main window when AutoExitOnClose holds.
// Refused while the window is busy or a script runs. A document kept because
// the question was declined, or its save was cancelled, ends nothing. Returns
// true when the document was closed.
bool MenuCloseClick(Context& ctx, bool calledWithFile);

// " Close the program" and " Close all instances" do nothing while the window
// is busy or a script runs.
bool CloseProgramAllowed(const Context& ctx);

}  // namespace quorvel
