// The processing pass: handlers, default properties and converters, depth first.
#pragma once

#include "model/tree.h"

namespace ps {

void ProcessChain(Context& ctx, TagNode* first);
void ApplyDefaultProperties(Context& ctx, TagNode* node);
// Writes the "was not correct converted" report for a failed converter.
void ReportConversionFailure(Context& ctx, const TagNode* node, const TagProperty* prop);

}  // namespace ps
