// The named character references of HTML, as decimal numeric references.
#pragma once

#include <cstddef>
#include <string_view>

namespace ps {

struct NamedReference {
  const char* name;        // without '&' and ';', case-sensitive
  const char* references;  // e.g. "&#233;" or "&#8770;&#824;"
};

extern const NamedReference kNamedReferences[];
extern const std::size_t kNamedReferenceCount;

// The numeric references for a name (without '&' and ';'), or nullptr.
const char* FindNamedReference(std::string_view name);

}  // namespace ps
