// The run sequence: command line, the two channels, the phases, exit status.
#pragma once

#include "run/context.h"

namespace ps {

struct TagNode;

// The declaration node that heads the top-level chain.
TagNode* CreateDocumentRoot(Context& ctx);

// One whole run as the command line asks for it; `out` is standard output.
// Returns the process exit status.
int RunMain(int argc, const char* const* argv, OutStream& out);

}  // namespace ps
