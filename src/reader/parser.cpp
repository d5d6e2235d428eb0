#include "reader/reader.h"

namespace ps {

void ParseHtml(Context&, std::string_view) {}

}  // namespace ps
