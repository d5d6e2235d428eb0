// The document frame: root, layout master set, page sequence, title and
// footer regions and the flow, plus the small handlers for titles, footers,
// links, list items and style sheets.
#include <cstdio>
#include <string>
#include <string_view>

#include "model/converters.h"
#include "model/handlers.h"
#include "model/tables.h"
#include "style/computed.h"
#include "transform/boxes.h"
#include "transform/names.h"
#include "transform/outline.h"
#include "transform/page_frame.h"
#include "transform/paragraphs.h"
#include "transform/share_children.h"
#include "transform/styled.h"
#include "transform/widths.h"
#include "writer/writer.h"

namespace ps {

namespace {

constexpr const char* kFoNamespace = "http://www.w3.org/1999/XSL/Format";
constexpr const char* kFoxNamespace = "http://xmlgraphics.apache.org/fop/extensions";

struct LanguageEncoding {
  NameList languages;
  const char* encoding;
};

constexpr const char* kLatin1Languages[] = {"en", "de", nullptr};
constexpr LanguageEncoding kLanguageEncodingTable[] = {
    {kLatin1Languages, "ISO-8859-1"},
};

bool Capture(Context& ctx, TagNode* node, Text& captured, const char* twice) {
  if (captured.has())
    ctx.msg().write(twice);
  else
    captured.take(node->text);
  node->text.reset();
  return true;
}

// Fills one static content region: its flow name, one block holding the
// captured text (a copy, since every body gets its own) or the default.
void FillRegion(Context& ctx, TagNode* region, const char* flowName, const Text& captured, const char* usingFmt,
                const char* missing, const char* defaultText) {
  SetProperty(ctx, region, "BODY-XML-FLOW-NAME", flowName);
  if (captured.has()) {
    ctx.msg().printf(usingFmt, captured.c_str());
    region->text = Text::Copy(captured);
  } else {
    ctx.msg().write(missing);
    region->text.assign(defaultText);
  }
  region->tail.assign("\r\n\r\n");
  InsertFirstChildWithText(region, "P");
  region->text.assign("\r\n");
}

// The converter's own running title and footer, with their placeholder
// texts. Both regions go in front of the body, title region first. A body
// without a parent has nowhere to put them.
void BuildDefaultRegions(Context& ctx, TagNode* body) {
  TagNode* footer = nullptr;
  TagNode* title = nullptr;
  if (TagNode* prev = PreviousSibling(body)) {
    footer = InsertAfter(prev, "XML-STATIC-CONTENT");
    title = InsertAfter(prev, "XML-STATIC-CONTENT");
  } else if (body->parent && body->parent->firstChild == body) {
    footer = PrependChild(body->parent, "XML-STATIC-CONTENT");
    title = PrependChild(body->parent, "XML-STATIC-CONTENT");
  }

  if (title)
    FillRegion(ctx, title, "xsl-region-before", ctx.capturedTitle, "Using Title \"%s\"\n",
               "Your HTML document has no Title - using default\n",
               "\r\n\r\n\t... the caption should be inserted here ...\r\n\r\n");
  else
    ctx.msg().write("Internal Structure Error!!!\n");
  if (footer)
    FillRegion(ctx, footer, "xsl-region-after", ctx.capturedFooter, "Using Footer \"%s\"\n",
               "Your HTML document has no Footer - using default\n",
               "\r\n\r\n\t... the footer should be inserted here ...\r\n\r\n");
  else
    ctx.msg().write("Internal Structure Error!!!\n");
}

void BuildPageMaster(Context& ctx, TagNode* set) {
  TagNode* master = AppendChild(set, "XML-SIMPLE-PAGE-MASTER");
  if (!master) {
    ctx.msg().write("Internal Structure Error !!!\n");
    return;
  }
  master->text.assign("\r\n\t\t\t");
  SetProperty(ctx, master, "XML-SIMPLE-PAGE-MASTER-NAME", "first");
  SetProperty(ctx, master, "XML-PAGE-HEIGHT", "29.7cm");
  SetProperty(ctx, master, "XML-PAGE-WIDTH", "21cm");
  SetProperty(ctx, master, "XML-MARGIN-TOP", "1.0cm");
  SetProperty(ctx, master, "XML-MARGIN-BOTTOM", "1.0cm");
  SetProperty(ctx, master, "XML-MARGIN-LEFT", "2.0cm");
  SetProperty(ctx, master, "XML-MARGIN-RIGHT", "2.0cm");
  // XSL-FO wants the body region first; FOP rejects any other order.
  if (TagNode* body = AppendChild(master, "XML-REGION-BODY")) {
    SetProperty(ctx, body, "XML-MARGIN-TOP", "1.5cm");
    SetProperty(ctx, body, "XML-MARGIN-BOTTOM", "1.5cm");
    body->tail.assign("\r\n\t\t\t");
  } else {
    ctx.msg().write("Internal Structure Error !!!\n");
  }
  if (TagNode* before = AppendChild(master, "XML-REGION-BEFORE")) {
    SetProperty(ctx, before, "XML-REGION-EXTENT", "1.5cm");
    before->tail.assign("\r\n\t\t\t");
  } else {
    ctx.msg().write("Internal Structure Error !!!\n");
  }
  if (TagNode* after = AppendChild(master, "XML-REGION-AFTER")) {
    SetProperty(ctx, after, "XML-REGION-EXTENT", "1.0cm");
    after->tail.assign("\r\n\t\t");
  } else {
    ctx.msg().write("Internal Structure Error !!!\n");
  }
  master->tail.assign("\r\n\t");
}

// The page's language: its LANG, or English.
Text PageLanguage(const TagNode* html) {
  const TagProperty* lang = FindProperty(html, "LANG");
  return lang && lang->value.has() ? Text::Copy(lang->value) : Text("en");
}

// The text size the sheets give the body (or the root): 10pt where they
// give none.
double SheetTextSize(const Context& ctx, const TagNode* html) {
  const css::Computed* found = ctx.styles->Find(html);
  for (const TagNode* c = html->firstChild; c; c = c->next)
    for (const TagNode* b = c; b; b = b->firstChild)
      if (EqualsNoCase(b->def->name, "BODY")) {
        if (const css::Computed* own = ctx.styles->Find(b)) found = own;
        break;
      }
  return found && (found->set & css::Bit(css::kFontSize)) ? found->fontSize : 10;
}

void BuildPageSequence(Context& ctx, TagNode* html) {
  TagNode* seq = WrapChildren(html, "XML-PAGE-SEQUENCE");
  if (!seq) return;
  SetProperty(ctx, seq, "XML-HYPHENATE", "true");
  const TagProperty* lang = FindProperty(html, "LANG");
  if (lang && lang->value.has()) {
    SetProperty(ctx, seq, "XML-PAGE-SEQUENCE-LANGUAGE", PageLanguage(html));
    // A UTF-8 page stays declared as UTF-8 whatever its language.
    TagProperty* encoding = ctx.utf8Output ? nullptr : FindProperty(ctx.documentRoot, "XML-?-ENCODING");
    if (encoding && encoding->value.has()) {
      for (const LanguageEncoding& row : kLanguageEncodingTable) {
        if (MatchNameList(lang->value.view(), row.languages)) {
          encoding->value.assign(row.encoding);
          break;
        }
      }
    }
  } else {
    SetProperty(ctx, seq, "XML-PAGE-SEQUENCE-LANGUAGE", PageLanguage(html));
  }
  SetProperty(ctx, seq, "XML-PAGE-SEQUENCE-MASTER-REFERENCE", StyledPage(ctx) ? StyledMasterReference(ctx) : "first");
  // Inherited by every block, so text in any script finds a font with its glyphs.
  SetProperty(ctx, seq, "XML-PAGE-SEQUENCE-FONT-FAMILY", kTextFonts);
  // A styled page's text outside paragraphs (in a bare DIV) has the text
  // size too, which its sheets' relative sizes count from.
  if (ctx.styles) SetProperty(ctx, seq, "XML-CSS-FONT-SIZE", FormatPoints(SheetTextSize(ctx, html)));
}

// A length such as "12.5pt" or "16.30cm" in hundredths of its unit; -1
// when the value is not a plain decimal number with that unit.
long long Hundredths(std::string_view value, std::string_view unit) {
  if (value.size() <= unit.size() || value.substr(value.size() - unit.size()) != unit) return -1;
  value.remove_suffix(unit.size());
  long long whole = 0, fraction = 0;
  int fractionDigits = -1;
  for (char c : value) {
    if (c == '.' && fractionDigits < 0) {
      fractionDigits = 0;
    } else if (c < '0' || c > '9' || whole >= 10'000'000) {  // products of two stay in range
      return -1;
    } else if (fractionDigits < 0) {
      whole = whole * 10 + (c - '0');
    } else if (fractionDigits < 2) {
      fraction = fraction * 10 + (c - '0');
      ++fractionDigits;
    }
  }
  if (fractionDigits == 1) fraction *= 10;
  return whole * 100 + fraction;
}

std::string FormatHundredths(long long n, const char* unit) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%lld.%02lld%s", n / 100, n % 100, unit);
  return buf;
}

// An image whose file is missing prints its ALT text in italics; on a page
// its style sheets style, in the style around it, as a browser prints it.
// One without (a decoration) prints nothing. An id it carries still marks
// the place.
void ReplaceByAltText(Context& ctx, TagNode* img) {
  const TagProperty* alt = FindProperty(img, "ALT");
  Text text = alt ? Text::Copy(alt->value) : Text();
  for (TagProperty* p = img->props; p;) {
    TagProperty* next = p->next;
    const char* out = p->def->outputName;
    if (!out || std::string_view(out) != "id") {
      UnlinkProperty(img, p);
      FreeProperty(p);
    }
    p = next;
  }
  if (!IsBlank(text.view())) {
    img->def = Names().inlineTag;
    img->text = std::move(text);
    if (!ctx.styles) SetProperty(ctx, img, Names().style, "italic");
  } else {
    // The id's empty wrapper, which FOP takes anywhere; without an id it
    // marks nothing (an empty inline could make FOP fail).
    static const TagDef* const anchor = FindTagDef(nullptr, "XML-ID-ANCHOR");
    img->def = anchor;
  }
}

}  // namespace

bool CaptureTitle(Context& ctx, TagNode* node) {
  return Capture(ctx, node, ctx.capturedTitle,
                 "I think you have two titles in your HTML Docoment...\nUsing the first one\n");
}

bool CaptureFooter(Context& ctx, TagNode* node) {
  return Capture(ctx, node, ctx.capturedFooter,
                 "I think you have two footers in your HTML Docoment...\nUsing the first one\n");
}

bool SetContentWidth(Context& ctx, TagNode* node) {
  char width[32];
  std::snprintf(width, sizeof width, "%.2fcm", StyledPage(ctx) ? StyledContentWidthCm(ctx) : 16.3);
  return SetProperty(ctx, node, "XML-CONFIG-MAX-CONTENT-WIDTH", width) != nullptr;
}

bool BuildBodyFrame(Context& ctx, TagNode* body) {
  SetProperty(ctx, body, "BODY-XML-FLOW-NAME", "xsl-region-body");
  if (StyledPage(ctx))
    BuildStyledRegions(ctx, body);
  else
    BuildDefaultRegions(ctx, body);

  if (TagNode* last = AppendChild(body, "P")) {
    SetProperty(ctx, last, "XML-FONT-SIZE", "1pt");
    SetProperty(ctx, last, "XML-LINE-HEIGHT", "1pt");
    SetProperty(ctx, last, "XML-ID", kLastPageId);
  } else {
    ctx.msg().write("Internal Structure Error!!!\n");
  }

  ctx.msg().write("setting up paragraphs...");
  ctx.msg().flush();
  InsertParagraphs(ctx, 0, body);
  ctx.msg().write(" done.\n");
  return true;
}

bool BuildPageFrame(Context& ctx, TagNode* html) {
  // FOP takes the PDF's language from the root.
  SetProperty(ctx, html, "XML-ROOT-LANGUAGE", PageLanguage(html));
  SetProperty(ctx, html, "XML-NAMESPACE-fox", kFoxNamespace);
  SetProperty(ctx, html, "XML-NAMESPACE-fo", kFoNamespace);

  BuildPageSequence(ctx, html);

  TagNode* set = PrependChild(html, "XML-LAYOUT-MASTER-SET");
  if (set) {
    set->text.assign("\r\n\t\t");
    if (StyledPage(ctx))
      BuildStyledMasters(ctx, set);
    else
      BuildPageMaster(ctx, set);
    set->tail.assign("\r\n\t");
  } else {
    ctx.msg().write("Internal Structure Error !!!\n");
  }

  if (TagNode* comment = PrependChild(html, "!--")) {
    html->text.assign("\r\n\t");
    CreateProperty(ctx, comment, "--");
    SetProperty(ctx, comment, "--Version", "0.4.2");
    SetProperty(ctx, comment, "--Creator", "pagesmith");
    comment->tail.assign("\r\n\t");
  } else {
    ctx.msg().write("Internal Structure Error !!!\n");
  }

  ctx.msg().write("analysing font structure...");
  ctx.msg().flush();
  ctx.reportPropertyFailures = false;
  // A large tree's two walks share the children of one element with a helper.
  FontState fonts;
  fonts.split = SplitParentFor(ctx, html);
  PropagateFonts(ctx, 0, html, fonts);
  ctx.reportPropertyFailures = true;
  if (ctx.styles) ApplyBoxes(ctx, html, fonts.split);
  ctx.msg().write(" done\n");

  BuildOutline(ctx, html, set, fonts.split);
  if (StyledPage(ctx)) PlaceStringMarkers(ctx, html);
  return true;
}

bool StyleLink(Context& ctx, TagNode* link) {
  // A link that leads nowhere is written as plain text, so it is not styled as a link.
  if (!HasUsableLinkTarget(link)) return true;
  SetProperty(ctx, link, "XML-FONT-TEXT-DECORATION", "underline");
  SetProperty(ctx, link, "XML-FONT-COLOR", "#0000ff");
  return true;
}

bool BuildListItem(Context& ctx, TagNode* item) {
  TagNode* body = WrapChildren(item, "XML-LIST-ITEM-BODY");
  if (body) SetProperty(ctx, body, "XML-start-indent", "body-start()");
  TagNode* label = PrependChild(item, "XML-LIST-ITEM-LABEL");
  InsertParagraphs(ctx, 0, body);
  if (label) {
    if (TagNode* block = WrapChildren(label, "P")) block->text.assign("-");
    label->tail.assign("\n");
  }
  return true;
}

// An item outside any list prints as a block that starts with its label,
// as browsers print it.
bool LabelLooseItem(Context&, TagNode* item) {
  Text label;
  label.assign("- ");
  label.append(item->text.view());
  item->text = std::move(label);
  return true;
}

// The marks are written as references, which the writer turns into the
// characters or their numbers as the output encoding needs. A quotation
// inside another takes single marks.
bool QuoteContent(Context&, TagNode* quote) {
  bool inner = false;
  for (const TagNode* p = quote->parent; p && !inner; p = p->parent) inner = p->def == quote->def;
  quote->text.replace(0, 0, inner ? "&lsquo;" : "&ldquo;");
  (quote->lastChild ? quote->lastChild->tail : quote->text).append(inner ? "&rsquo;" : "&rdquo;");
  return true;
}

// A quotation is indented on both sides: the tables inside it get that much
// less width, or they would run past its right edge.
bool NarrowContent(Context& ctx, TagNode* quote) {
  constexpr double kIndentsCm = 2.0;  // the two margins of its default rows
  const double width = ContentWidth(ctx, quote) - kIndentsCm;
  if (!(width >= kIndentsCm)) return true;  // too narrow already: left as it is
  return SetProperty(ctx, quote, Names().maxContentWidth, FormatCm(width)) != nullptr;
}

bool ImageFileMissing(const Context& ctx, const TagNode* img) {
  const TagProperty* src = FindProperty(img, "SRC");
  if (!src || !src->value.has() || IsBlank(src->value.view())) return true;
  if (!ctx.fileExists) return false;
  const std::string path = LocalImagePath(ctx.inputName, src->value.view());
  return !path.empty() && !ctx.fileExists(path);
}

// An image whose file is missing beside the page prints its ALT text instead.
// Every image carries its ALT text as its alternative text, an empty one when
// it has none (a decoration). A width given wider than the space the image
// stands in (or than all of it) becomes all of it, and a given height shrinks
// with it; shrinking the picture into its area keeps its proportions.
bool FitImage(Context& ctx, TagNode* img) {
  if (ImageFileMissing(ctx, img)) {
    // An image with no source at all needs no notice: FOP would only report the empty URI.
    if (const TagProperty* src = FindProperty(img, "SRC"); src && src->value.has() && !IsBlank(src->value.view()))
      ctx.msg().printf("Image \"%s\" not found: its ALT text is printed instead\n",
                       LocalImagePath(ctx.inputName, src->value.view()).c_str());
    ReplaceByAltText(ctx, img);
    return true;
  }
  TagProperty* alt = FindProperty(img, "ALT");
  if (!alt) alt = CreateProperty(ctx, img, "ALT");
  if (alt && alt->value.null()) alt->value.assign("");

  TagProperty* width = FindProperty(img, "WIDTH");
  if (!width || width->value.null()) return true;
  const std::string_view given = width->value.view();
  // The shrink factor as a fraction: space over given width.
  long long space = 0, wanted = 0;
  if (const long long percent = Hundredths(given, "%"); percent >= 0) {
    space = 100 * 100;
    wanted = percent;
  } else {
    const TagProperty* room = FindInheritedProperty(img, "XML-CONFIG-MAX-CONTENT-WIDTH");
    const long long cm = room && room->value.has() ? Hundredths(room->value.view(), "cm") : -1;
    wanted = Hundredths(given, "pt");
    if (cm < 0 || wanted < 0) return true;
    space = cm * 7200 / 254;  // in hundredths of a point
  }
  if (wanted <= space) return true;
  width->value.assign("100%");
  TagProperty* height = FindProperty(img, "HEIGHT");
  const long long high = height && height->value.has() ? Hundredths(height->value.view(), "pt") : -1;
  if (high >= 0) height->value.assign(FormatHundredths(high * space / wanted, "pt"));
  return true;
}

bool DiscardStyleContent(Context&, TagNode* style) {
  style->text.reset();
  FreeTree(style->firstChild);
  style->firstChild = style->lastChild = nullptr;
  return true;
}

}  // namespace ps
