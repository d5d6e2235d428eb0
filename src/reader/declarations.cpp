// STYLE and XML-CONFIG values: "key: value; key: value" becomes one property
// per declaration, named by the converted row, '-' and the key.
#include <string>
#include <vector>

#include "model/handlers.h"
#include "reader/attributes.h"
#include "transform/pass.h"

namespace ps {

namespace {

// The C locale's white space, which is what may follow a ';'.
inline bool IsCSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

bool DeclarationConverter(Context& ctx, TagNode* node, TagProperty* prop) {
  if (prop->value.null()) return true;
  // Copied: adding properties must not depend on the converted one staying put.
  const std::string source(prop->value.view());
  const std::string prefix = std::string(prop->def->name) + "-";
  TagProperty* const oldHead = node->props;

  Text key, value;
  bool valueMode = false;
  char quote = 0;
  auto endDeclaration = [&] {
    if (key.has()) AddPropertyByName(ctx, node->props, std::move(key), std::move(value), node->def);
    key = Text();
    value = Text();
    valueMode = false;
  };

  const std::size_t n = source.size();
  for (std::size_t i = 0; i <= n; ++i) {
    const bool atEnd = i == n;
    const char c = atEnd ? '\0' : source[i];
    if (c == '"' || c == '\'') {
      if (!quote) {
        quote = c;
        continue;
      }
      if (quote == c) {
        quote = 0;
        if (value.null()) value.assign("");
        continue;
      }
    } else if ((c == ':' || c == '=') && !valueMode) {
      valueMode = true;
      while (i + 1 < n && source[i + 1] == ' ') ++i;
      continue;
    } else if (c == ';' || atEnd) {
      if (valueMode) {
        if (value.null()) continue;
        if (quote && !atEnd) {
          value.push_back(c);
          continue;
        }
      } else {
        if (value.has()) continue;
        if (quote && !atEnd) continue;
      }
      endDeclaration();
      if (atEnd) break;
      while (i + 1 < n && IsCSpace(source[i + 1])) ++i;
      continue;
    }
    if (valueMode) {
      value.push_back(c);
    } else {
      if (key.null()) key.assign(prefix);
      key.push_back(c);
    }
  }
  // A declaration the NUL did not end (the text stops right after the ':').
  endDeclaration();

  // Only the properties added here, newest first; whatever their converters
  // add in turn is not visited.
  std::vector<TagProperty*> added;
  for (TagProperty* p = node->props; p && p != oldHead; p = p->next) added.push_back(p);
  for (TagProperty* p : added) {
    if (p->def->converter && !p->def->converter(ctx, node, p)) ReportConversionFailure(ctx, node, p);
  }
  return true;
}

}  // namespace ps
