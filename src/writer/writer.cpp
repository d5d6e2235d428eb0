#include "writer/writer.h"

#include <cstring>
#include <vector>

#include "writer/entities.h"

namespace ps {

namespace {

constexpr std::size_t kFlushAt = 1 << 16;

bool IsXmlWhite(std::string_view s) {
  for (char c : s)
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n') return false;
  return true;
}

bool IsDeclarationOrComment(const TagDef* d) {
  return std::strcmp(d->name, "XML-?") == 0 || std::strcmp(d->name, "!--") == 0;
}

// A comment read from the HTML, rewritten so that it is a well-formed XML
// comment whatever it held ("--" inside, a '-' at its end, a cut-off "<!--[if").
void WriteRawComment(std::string& out, std::string_view raw) {
  std::string_view body = raw.substr(3);
  if (body.size() >= 2 && body.substr(body.size() - 2) == "--") body.remove_suffix(2);
  out.append("<!--");
  char prev = 0;
  for (char c : body) {
    unsigned char u = static_cast<unsigned char>(c);
    if ((u >= 0x01 && u <= 0x08) || u == 0x0B || u == 0x0C || (u >= 0x0E && u <= 0x1F)) c = ' ';
    if (c == '-' && prev == '-') out.push_back(' ');
    out.push_back(c);
    prev = c;
  }
  if (prev == '-') out.push_back(' ');
  out.append("-->");
}

void WriteStartTag(std::string& out, const TagNode* n, OutputEncoding enc) {
  const TagDef* d = n->def;
  if (d->rawTag && n->raw.has()) {
    std::string_view raw = n->raw.view();
    if (raw.substr(0, 3) == "!--") {
      WriteRawComment(out, raw);
    } else {
      out.push_back('<');
      out.append(raw);
      out.push_back('>');
    }
    return;
  }
  out.push_back('<');
  out.append(d->outputName);
  const bool bareAllowed = IsDeclarationOrComment(d);
  // Attribute names already written: XML allows each only once per element.
  const char* seen[32];
  std::size_t nseen = 0;
  std::vector<const char*> seenMore;
  for (const TagProperty* p = n->props; p; p = p->next) {
    const char* a = p->def->outputName;
    if (!a) continue;
    if (*a == '\0') {
      if (p->value.has() && IsXmlWhite(p->value.view())) ConvertSpecialChars(p->value.view(), out, ConvertMode::Text, enc);
      continue;
    }
    if (p->value.null() && !bareAllowed) continue;
    bool dup = false;
    for (std::size_t i = 0; i < nseen && !dup; ++i) dup = std::strcmp(seen[i], a) == 0;
    for (const char* s : seenMore)
      if (!dup) dup = std::strcmp(s, a) == 0;
    if (dup) continue;
    if (nseen < 32)
      seen[nseen++] = a;
    else
      seenMore.push_back(a);
    out.push_back(' ');
    out.append(a);
    if (p->value.has()) {
      out.append("=\"");
      ConvertSpecialChars(p->value.view(), out, ConvertMode::QuotedValue, enc);
      out.push_back('"');
    }
  }
  if (d->writeForm == 1) out.push_back('/');
  out.push_back('>');
}

void WriteEndTag(std::string& out, const TagDef* d) {
  out.append("</");
  out.append(d->outputName);
  out.push_back('>');
}

void WriteTail(std::string& out, const TagNode* n, bool topLevel, OutputEncoding enc) {
  if (n->tail.null()) return;
  // Only white space may follow the document element.
  if (topLevel && !IsXmlWhite(n->tail.view())) return;
  ConvertSpecialChars(n->tail.view(), out, ConvertMode::Text, enc);
}

}  // namespace

namespace {

// Writes one subtree without recursion, so that no depth of nesting can
// exhaust the machine stack, and flushes the buffer as it grows.
void WriteSubtree(std::string& buf, OutStream& out, const TagNode* root, bool topLevel, OutputEncoding enc) {
  std::vector<const TagNode*> parents;
  const TagNode* cur = root;
  for (;;) {
    const TagDef* d = cur->def;
    if (d->outputName) WriteStartTag(buf, cur, enc);
    if (d->writeForm == 0) {
      if (cur->text.has()) ConvertSpecialChars(cur->text.view(), buf, ConvertMode::Text, enc);
      if (cur->firstChild) {
        parents.push_back(cur);
        cur = cur->firstChild;
        continue;
      }
      if (d->outputName) WriteEndTag(buf, d);
    }
    WriteTail(buf, cur, topLevel && cur == root, enc);
    if (buf.size() >= kFlushAt) {
      out.write(buf);
      buf.clear();
    }
    for (;;) {
      if (cur == root) return;
      if (cur->next) {
        cur = cur->next;
        break;
      }
      cur = parents.back();
      parents.pop_back();
      if (cur->def->outputName) WriteEndTag(buf, cur->def);
      WriteTail(buf, cur, topLevel && cur == root, enc);
    }
  }
}

}  // namespace

void WriteNode(std::string& out, const TagNode* node, bool topLevel, OutputEncoding enc) {
  std::string buf;
  OutStream sink = OutStream::ToString(&out);
  WriteSubtree(buf, sink, node, topLevel, enc);
  sink.write(buf);
}

bool WriteDocument(Context& ctx, OutStream& out) {
  ctx.msg().write("converting special chars and writing out...");
  ctx.msg().flush();
  std::string buf;
  buf.reserve(kFlushAt * 2);
  for (const TagNode* n = ctx.documentRoot; n; n = n->next) WriteSubtree(buf, out, n, true, ctx.utf8Output ? OutputEncoding::Utf8 : OutputEncoding::Latin1);
  buf.append("\r\n");
  out.write(buf);
  out.flush();
  ctx.msg().write(" done\n");
  return !out.failed();
}

}  // namespace ps
