// The tag vocabulary: tag rows, tag groups and default properties.
// One row per line, in lookup order: the first matching row wins.
#include <iterator>

#include "model/handlers.h"
#include "model/tables.h"

namespace ps {
namespace {

constexpr const char* kNone[] = {nullptr};
constexpr const char* kA[] = {"A", nullptr};
constexpr const char* kAbbr[] = {"ABBR", nullptr};
constexpr const char* kAddress[] = {"ADDRESS", nullptr};
constexpr const char* kBlock[] = {"%BLOCK;", nullptr};
constexpr const char* kBlockDivCenter[] = {"%BLOCK;", "DIV", "CENTER", nullptr};
constexpr const char* kBlockFbGroup[] = {"TABLE", "OL", "UL", "DL", nullptr};
constexpr const char* kBlockFontInline[] = {"%BLOCK;", "%FONT;", "%INLINE;", nullptr};
constexpr const char* kBlockFb[] = {"%BLOCK-FB;", nullptr};
constexpr const char* kBlockGroup[] = {"%BLOCK-NO-PG;", "%PARAGRAPH;", "%BLOCK-FB;", nullptr};
constexpr const char* kBlockInline[] = {"%BLOCK;", "%INLINE;", nullptr};
constexpr const char* kBlockNoPgGroup[] = {"DIV", "!--", "PRE", "IMG", "SVG", "BLOCKQUOTE", "SECTION", "ARTICLE", "NAV", "HEADER", "MAIN", "ASIDE", "FIGURE", "FIGCAPTION", "HGROUP", "ADDRESS", "DETAILS", "SUMMARY", "XML-BODY-FOOTER", "XML-LOOSE-CELL", "XML-LOOSE-ROW", "XML-LOOSE-ITEM", nullptr};
constexpr const char* kBlockNoPgParagraph[] = {"%BLOCK-NO-PG;", "%PARAGRAPH;", nullptr};
constexpr const char* kBlockTable[] = {"%BLOCK;", "TABLE", nullptr};
// The blocks that hold flow content: text standing loose in one is printed
// as a paragraph, as it is in the body.
constexpr const char* kTextBlocks[] = {"DIV", "BLOCKQUOTE", "SECTION", "ARTICLE", "NAV", "HEADER", "MAIN", "ASIDE", "FIGURE", "FIGCAPTION", "HGROUP", "ADDRESS", "DETAILS", "SUMMARY", "XML-BODY-FOOTER", "DL", nullptr};
constexpr const char* kBody[] = {"BODY", nullptr};
constexpr const char* kBodyTdTh[] = {"BODY", "TD", "TH", nullptr};
constexpr const char* kBold[] = {"%BOLD;", nullptr};
constexpr const char* kBodyXmlStaticContent[] = {"BODY", "XML-STATIC-CONTENT", nullptr};
constexpr const char* kStaticContentChildren[] = {"%FONT;", "%BLOCK;", "%INLINE;", "XML-BOX", "XML-BOX-TABLE", nullptr};
constexpr const char* kBorderTagsGroup[] = {"TABLE", "TD", "TH", "TR", "XML-TABLE-BODY", "XML-TABLE-COLUMN", "IMG", nullptr};
constexpr const char* kBordertags[] = {"%BORDERTAGS;", nullptr};
constexpr const char* kBoldGroup[] = {"B", "STRONG", nullptr};
constexpr const char* kBlockquote[] = {"BLOCKQUOTE", nullptr};
constexpr const char* kBrFontBlockInline[] = {"BR", "%FONT;", "%BLOCK;", "%INLINE;", nullptr};
constexpr const char* kCol[] = {"COL", nullptr};
constexpr const char* kComment[] = {"!--", nullptr};
constexpr const char* kDeclaration[] = {"XML-?", nullptr};
constexpr const char* kDd[] = {"DD", nullptr};
// A definition list holds what a DIV may besides its terms and definitions:
// pages put headings, paragraphs and tables between them.
constexpr const char* kDtDdLiBlockFontInline[] = {"DT", "DD", "LI", "%BLOCK;", "%FONT;", "%INLINE;", nullptr};
constexpr const char* kFont[] = {"FONT", nullptr};
constexpr const char* kFontBlockInline[] = {"%FONT;", "%BLOCK;", "%INLINE;", nullptr};
constexpr const char* kFontBlockInlineComment[] = {"%FONT;", "%BLOCK;", "%INLINE;", "!--", nullptr};
constexpr const char* kFontBlockInlinePre[] = {"%FONT;", "%BLOCK;", "%INLINE;", "PRE", nullptr};
constexpr const char* kFontGroup[] = {"FONT", "B", "U", "I", "SMALL", "STRONG", "CENTER", "RIGHT", "CODE", "BLOCKQUOTE", "XML-ID-ANCHOR", "EM", "CITE", "DFN", "TT", "KBD", "SAMP", "S", "STRIKE", "DEL", "INS", "SPAN", "LABEL", "ACRONYM", "TIME", "DATA", "BDI", "BIG", "MARK", "Q", "WBR", "XML-ELEMENT", "XML-EMPTY-ELEMENT", nullptr};
// HTML's void elements that have no row of their own: read as the empty
// unknown element where unknown elements are kept.
constexpr const char* kVoidUnknown[] = {"INPUT", "EMBED", "SOURCE", "TRACK", "PARAM", "KEYGEN", "AREA", "BASE", "BASEFONT", "BGSOUND", "FRAME", nullptr};
constexpr const char* kFontInline[] = {"%FONT;", "%INLINE;", nullptr};
constexpr const char* kFontTagsGroup[] = {"XML-INLINE", "FONT", "CODE", "PRE", "A", "TD", "TH", "%PARAGRAPH;", "TT", "KBD", "SAMP", nullptr};
constexpr const char* kFonttags[] = {"%FONTTAGS;", nullptr};
constexpr const char* kFonttagsADivTable[] = {"%FONTTAGS;", "A", "DIV", "TABLE", nullptr};
constexpr const char* kHeadChildren[] = {"META", "TITLE", "Footer", "STYLE", "SCRIPT", "LINK", "!--", nullptr};
constexpr const char* kHr[] = {"HR", nullptr};
constexpr const char* kHrAbbr[] = {"HR", "ABBR", nullptr};
constexpr const char* kHtml[] = {"HTML", nullptr};
constexpr const char* kHtmlBodyTable[] = {"HTML", "BODY", "TABLE", nullptr};
// The headings the outline is made of, highest level first.
constexpr const char* kHeadings[] = {"H1", "H2", "H3", "H4", "H5", "H6", nullptr};
constexpr const char* kHtmlChildren[] = {"HEAD", "XML-LAYOUT-MASTER-SET", "XML-PAGE-SEQUENCE", "BODY", "XML-STATIC-CONTENT", "!--", "XML-DECLARATIONS", "XML-BOOKMARK-TREE", nullptr};
constexpr const char* kImg[] = {"IMG", nullptr};
constexpr const char* kImgSvg[] = {"IMG", "SVG", nullptr};
constexpr const char* kSvg[] = {"SVG", nullptr};
constexpr const char* kInline[] = {"%INLINE;", nullptr};
constexpr const char* kItalic[] = {"%ITALIC;", nullptr};
constexpr const char* kItalicGroup[] = {"I", "EM", "CITE", "DFN", "VAR", nullptr};
constexpr const char* kInlineGroup[] = {"XML-INLINE", "A", "BR", "NOBR", "IMG", "SVG", "ABBR", "SUP", "SUB", "VAR", "XML-LINK-REFERENCE", "HR", "!--", nullptr};
constexpr const char* kLi[] = {"LI", nullptr};
constexpr const char* kLineThroughGroup[] = {"S", "STRIKE", "DEL", nullptr};
constexpr const char* kLineThrough[] = {"%LINE-THROUGH;", nullptr};
constexpr const char* kOl[] = {"OL", nullptr};
constexpr const char* kOlLi[] = {"OL", "LI", nullptr};
constexpr const char* kLink[] = {"LINK", nullptr};
constexpr const char* kLinkStyle[] = {"LINK", "STYLE", nullptr};
constexpr const char* kListItemChildren[] = {"%FONT;", "%BLOCK;", "%INLINE;", "OL", "UL", "DL", "XML-LIST-ITEM-LABEL", "XML-LIST-ITEM-BODY", nullptr};
constexpr const char* kMarginTagsGroup[] = {"TABLE", "TD", "TH", nullptr};
constexpr const char* kMargintags[] = {"%MARGINTAGS;", nullptr};
constexpr const char* kMeta[] = {"META", nullptr};
constexpr const char* kP[] = {"P", nullptr};
constexpr const char* kPre[] = {"PRE", nullptr};
constexpr const char* kPA[] = {"P", "A", nullptr};
constexpr const char* kPPre[] = {"P", "PRE", nullptr};
constexpr const char* kPTdThTr[] = {"P", "TD", "TH", "TR", nullptr};
constexpr const char* kPageMasterChildren[] = {"XML-REGION-BEFORE", "XML-REGION-BODY", "XML-REGION-AFTER", nullptr};
constexpr const char* kParagraph[] = {"%PARAGRAPH;", nullptr};
constexpr const char* kParagraphFont[] = {"%PARAGRAPH;", "FONT", nullptr};
constexpr const char* kParagraphGroup[] = {"P", "H1", "H2", "H3", "H4", "H5", "H6", "DT", "DD", "CAPTION", nullptr};
constexpr const char* kSupSub[] = {"SUP", "SUB", nullptr};
constexpr const char* kTable[] = {"TABLE", nullptr};
constexpr const char* kTableChildren[] = {"TR", "XML-TABLE-COLUMN", "XML-TABLE-BODY", "XML-TABLE-FOOTER", "COLGROUP", "CAPTION", "THEAD", "TFOOT", nullptr};
constexpr const char* kTableTrTdThBody[] = {"TABLE", "TR", "TD", "TH", "BODY", nullptr};
constexpr const char* kTdTh[] = {"TD", "TH", nullptr};
constexpr const char* kTh[] = {"TH", nullptr};
constexpr const char* kTdThXmlEmptyCell[] = {"TD", "TH", "XML-EMPTY-CELL", nullptr};
constexpr const char* kTdThTr[] = {"TD", "TH", "TR", nullptr};
constexpr const char* kTr[] = {"TR", nullptr};
constexpr const char* kTrTdThImg[] = {"TR", "TD", "TH", "IMG", nullptr};
constexpr const char* kUnderlineGroup[] = {"U", "INS", nullptr};
constexpr const char* kUlOl[] = {"UL", "OL", nullptr};
constexpr const char* kUnderline[] = {"%UNDERLINE;", nullptr};
constexpr const char* kXmlListItemBodyHr[] = {"XML-LIST-ITEM-BODY", "HR", nullptr};
constexpr const char* kXmlPageSequence[] = {"XML-PAGE-SEQUENCE", nullptr};
constexpr const char* kXmlPageSequenceBlock[] = {"XML-PAGE-SEQUENCE", "%BLOCK;", nullptr};
constexpr const char* kXmlPageSequenceBlockNobr[] = {"XML-PAGE-SEQUENCE", "%BLOCK;", "NOBR", nullptr};
constexpr const char* kXmlRegionBeforeXmlRegionAfter[] = {"XML-REGION-BEFORE", "XML-REGION-AFTER", nullptr};
constexpr const char* kXmlSimplePageMaster[] = {"XML-SIMPLE-PAGE-MASTER", nullptr};
// The page masters the style sheets' @page rules make, and what they write
// on the page.
constexpr const char* kXmlPageMasters[] = {"XML-SIMPLE-PAGE-MASTER", "XML-PAGE-SEQUENCE-MASTER", nullptr};
constexpr const char* kXmlPageSequenceMaster[] = {"XML-PAGE-SEQUENCE-MASTER", nullptr};
constexpr const char* kXmlPageAlternatives[] = {"XML-PAGE-ALTERNATIVES", nullptr};
constexpr const char* kXmlConditionalReference[] = {"XML-CONDITIONAL-REFERENCE", nullptr};
constexpr const char* kXmlPageNumberCitation[] = {"XML-PAGE-NUMBER-CITATION", nullptr};
constexpr const char* kXmlMarker[] = {"XML-MARKER", nullptr};
constexpr const char* kXmlRetrieveMarker[] = {"XML-RETRIEVE-MARKER", nullptr};
constexpr const char* kXmlBox[] = {"XML-BOX", nullptr};
constexpr const char* kXmlBoxTable[] = {"XML-BOX-TABLE", nullptr};
constexpr const char* kXmlBoxTableBody[] = {"XML-BOX-TABLE-BODY", nullptr};
constexpr const char* kXmlBoxRow[] = {"XML-BOX-ROW", nullptr};
constexpr const char* kXmlBoxCell[] = {"XML-BOX-CELL", nullptr};
constexpr const char* kXmlBoxTableChildren[] = {"XML-TABLE-COLUMN", "XML-BOX-TABLE-BODY", nullptr};
constexpr const char* kXmlSimplePageMasterXmlRegionBody[] = {"XML-SIMPLE-PAGE-MASTER", "XML-REGION-BODY", nullptr};
constexpr const char* kXmlTableColumn[] = {"XML-TABLE-COLUMN", nullptr};
constexpr const char* kXmlXmpmeta[] = {"XML-XMPMETA", nullptr};
constexpr const char* kXmlRdf[] = {"XML-RDF", nullptr};
constexpr const char* kXmlRdfDescription[] = {"XML-RDF-DESCRIPTION", nullptr};
constexpr const char* kXmlDcFields[] = {"XML-DC-TITLE", "XML-DC-LANGUAGE", nullptr};
constexpr const char* kXmlBookmark[] = {"XML-BOOKMARK", nullptr};
constexpr const char* kXmlBookmarkChildren[] = {"XML-BOOKMARK-TITLE", "XML-BOOKMARK", nullptr};

// name, outputName, contentKind, selfNesting, writeForm, rawTag, category, closes, children, leaveHandler, enterHandler
constexpr TagDef kTags[] = {
    {"XML-?", "?xml", 2, 2, 2, 0, 0, nullptr, kNone, nullptr, nullptr},
    {"HTML", "fo:root", 0, 2, 0, 0, 0, nullptr, kHtmlChildren, BuildPageFrame, nullptr},
    {"XML-LAYOUT-MASTER-SET", "fo:layout-master-set", 2, 2, 0, 0, 0, nullptr, kXmlPageMasters, nullptr, nullptr},
    {"XML-SIMPLE-PAGE-MASTER", "fo:simple-page-master", 2, 2, 0, 0, 0, nullptr, kPageMasterChildren, nullptr, nullptr},
    {"XML-REGION-BEFORE", "fo:region-before", 2, 2, 1, 0, 0, nullptr, kNone, nullptr, nullptr},
    {"XML-REGION-BODY", "fo:region-body", 2, 2, 1, 0, 0, nullptr, kNone, nullptr, nullptr},
    {"XML-REGION-AFTER", "fo:region-after", 2, 2, 1, 0, 0, nullptr, kNone, nullptr, nullptr},
    {"HEAD", nullptr, 0, 2, 0, 0, 0, nullptr, kHeadChildren, nullptr, nullptr},
    {"META", nullptr, 2, 2, 0, 0, 0, nullptr, kNone, nullptr, nullptr},
    {"TITLE", nullptr, 0, 2, 0, 0, 0, nullptr, kNone, CaptureTitle, nullptr},
    {"Footer", nullptr, 0, 2, 0, 0, 0, nullptr, kNone, CaptureFooter, nullptr},
    {"LINK", nullptr, 2, 2, 0, 0, 0, nullptr, kNone, nullptr, nullptr},
    {"BODY", "fo:flow", 0, 2, 0, 0, 0, nullptr, kFontBlockInlineComment, BuildBodyFrame, SetContentWidth},
    {"XML-STATIC-CONTENT", "fo:static-content", 2, 2, 0, 0, 0, nullptr, kStaticContentChildren, nullptr, nullptr},
    {"XML-PAGE-SEQUENCE", "fo:page-sequence", 0, 2, 0, 0, 0, nullptr, kBody, nullptr, nullptr},
    {"P", "fo:block", 1, 0, 0, 0, 2, nullptr, kBlockFontInline, nullptr, nullptr},
    {"NOBR", "fo:inline", 0, 2, 0, 0, 2, nullptr, nullptr, nullptr, nullptr},
    // An empty block ends the line: FOP reads a line feed inside an inline as a space.
    {"BR", "fo:block/", 2, 2, 2, 0, 2, nullptr, nullptr, nullptr, nullptr},
    {"XML-INLINE", "fo:inline", 0, 2, 0, 0, 2, nullptr, kNone, nullptr, nullptr},
    {"FONT", nullptr, 0, 0, 0, 0, 2, nullptr, kFontBlockInlinePre, nullptr, nullptr},
    {"TABLE", "fo:table", 0, 1, 0, 0, 0, kInline, kTableChildren, TableStep2, TableStep1},
    // Moved in front of its table by the table steps: FOP lays out no table
    // caption. As in HTML, it ends the row or cell left open before it (kEnds).
    {"CAPTION", "fo:block", 0, 2, 0, 0, 0, nullptr, kFontInline, nullptr, nullptr},
    {"COL", "@XML-TABLE-COLUMN", 2, 2, 2, 2, 0, nullptr, nullptr, nullptr, nullptr},
    {"XML-TABLE-COLUMN", "fo:table-column", 2, 2, 1, 0, 0, nullptr, kNone, nullptr, nullptr},
    {"XML-TABLE-FOOTER", "fo:table-footer", 0, 1, 0, 0, 0, nullptr, kTr, nullptr, nullptr},
    {"TBODY", "", 2, 2, 2, 2, 0, nullptr, nullptr, nullptr, nullptr},
    {"XML-TABLE-BODY", "fo:table-body", 0, 1, 0, 0, 0, nullptr, kTr, nullptr, nullptr},
    // Rows, cells and row groups end where their table ends, end tag or not,
    // as in HTML: a page that leaves them open loses no text to the table's
    // end tag.
    {"TH", "fo:table-cell", 1, 0, 0, 0, 0, nullptr, kBrFontBlockInline, nullptr, nullptr},
    {"TR", "fo:table-row", 1, 0, 0, 0, 0, nullptr, kTdThXmlEmptyCell, nullptr, nullptr},
    {"TD", "fo:table-cell", 1, 0, 0, 0, 0, nullptr, kBrFontBlockInline, nullptr, nullptr},
    {"XML-EMPTY-CELL", "fo:table-cell", 0, 1, 0, 0, 0, nullptr, kNone, nullptr, nullptr},
    {"XML-LINK-REFERENCE", "fo:inline", 0, 2, 0, 0, 2, nullptr, nullptr, nullptr, nullptr},
    {"A", "fo:basic-link", 0, 2, 0, 0, 2, kA, nullptr, StyleLink, nullptr},
    {"U", nullptr, 0, 0, 0, 0, 2, nullptr, kFontBlockInline, nullptr, nullptr},
    {"B", nullptr, 0, 0, 0, 0, 2, nullptr, kFontBlockInline, nullptr, nullptr},
    {"I", nullptr, 0, 0, 0, 0, 2, nullptr, kFontBlockInline, nullptr, nullptr},
    {"DIR", nullptr, 0, 2, 0, 0, 2, nullptr, kFontInline, nullptr, nullptr},
    // Blocks nest in each other, as sections do.
    {"DIV", "fo:block", 0, 0, 0, 0, 2, nullptr, kBlockFontInline, nullptr, nullptr},
    {"!--", "!--", 2, 2, 2, 2, 2, nullptr, kNone, nullptr, nullptr},
    {"!DOCTYPE", nullptr, 2, 2, 2, 2, 0, nullptr, kNone, nullptr, nullptr},
    {"COLGROUP", "", 0, 1, 2, 0, 0, nullptr, kCol, nullptr, nullptr},
    {"HR", "fo:leader", 2, 2, 0, 0, 2, nullptr, kNone, nullptr, nullptr},
    {"H1", "fo:block", 0, 2, 0, 0, 2, nullptr, kFontInline, SizeHeading, nullptr},
    {"H2", "fo:block", 0, 2, 0, 0, 2, nullptr, kFontInline, SizeHeading, nullptr},
    {"H3", "fo:block", 0, 2, 0, 0, 2, nullptr, kFontInline, SizeHeading, nullptr},
    {"H4", "fo:block", 0, 2, 0, 0, 2, nullptr, kFontInline, SizeHeading, nullptr},
    {"H5", "fo:block", 0, 2, 0, 0, 2, nullptr, kFontInline, SizeHeading, nullptr},
    {"H6", "fo:block", 0, 2, 0, 0, 2, nullptr, kFontInline, SizeHeading, nullptr},
    {"PRE", "fo:block", 0, 2, 0, 0, 2, nullptr, kFontInline, nullptr, nullptr},
    {"OL", "fo:list-block", 0, 1, 0, 0, 2, nullptr, kLi, NumberListItems, nullptr},
    {"UL", "fo:list-block", 0, 1, 0, 0, 2, nullptr, kLi, nullptr, nullptr},
    {"LI", "fo:list-item", 1, 0, 0, 0, 2, nullptr, kListItemChildren, BuildListItem, nullptr},
    {"XML-LIST-ITEM-LABEL", "fo:list-item-label", 2, 1, 0, 0, 2, nullptr, kFontBlockInline, nullptr, nullptr},
    {"XML-LIST-ITEM-BODY", "fo:list-item-body", 2, 1, 0, 0, 2, nullptr, kFontBlockInline, nullptr, nullptr},
    {"IMG", "fo:external-graphic", 2, 2, 1, 0, 2, nullptr, nullptr, FitImage, nullptr},
    {"CENTER", nullptr, 0, 1, 0, 0, 2, nullptr, kFontBlockInline, nullptr, nullptr},
    {"STRONG", nullptr, 0, 1, 0, 0, 2, nullptr, kFontBlockInline, nullptr, nullptr},
    {"SMALL", nullptr, 0, 1, 0, 0, 2, nullptr, kFontBlockInline, nullptr, nullptr},
    // Script code is never printed: its content is dropped like a style sheet's.
    {"SCRIPT", nullptr, 0, 2, 0, 2, 2, nullptr, nullptr, DiscardStyleContent, nullptr},
    {"STYLE", nullptr, 0, 2, 0, 0, 2, nullptr, nullptr, DiscardStyleContent, nullptr},
    {"CODE", nullptr, 0, 2, 0, 0, 2, nullptr, nullptr, nullptr, nullptr},
    {"DL", "fo:block", 0, 1, 0, 0, 2, nullptr, kDtDdLiBlockFontInline, nullptr, nullptr},
    // A term or definition ends the one before it, as HTML's implied end tags do (kEnds).
    {"DD", "fo:block", 1, 0, 0, 0, 2, nullptr, kFontBlockInline, nullptr, nullptr},
    {"DT", "fo:block", 1, 0, 0, 0, 2, nullptr, kFontBlockInline, nullptr, nullptr},
    {"ABBR", nullptr, 0, 2, 0, 0, 2, nullptr, kNone, nullptr, nullptr},
    // Raised and lowered text is an inline of its own, which carries the shift
    // and the smaller size; it may hold a link (a footnote reference).
    {"SUP", "fo:inline", 0, 2, 0, 0, 2, nullptr, kFontInline, nullptr, nullptr},
    {"SUB", "fo:inline", 0, 2, 0, 0, 2, nullptr, kFontInline, nullptr, nullptr},
    {"VAR", nullptr, 0, 2, 0, 0, 2, nullptr, kFontInline, nullptr, nullptr},
    // Quotations nest, each indented further.
    {"BLOCKQUOTE", "fo:block", 0, 0, 0, 0, 2, nullptr, kFontBlockInline, nullptr, NarrowContent},
    // The link target of an element that writes no element of its own: it
    // stands wherever font markup may and counts as no content.
    // A wrapper rather than an empty inline: FOP 2.8 fails on an empty inline
    // after white space inside an inline when it hyphenates.
    {"XML-ID-ANCHOR", "fo:wrapper", 2, 2, 1, 0, 2, nullptr, kNone, nullptr, nullptr},
    // Phrase elements stand wherever B does; those of the groups %BOLD;,
    // %ITALIC;, %UNDERLINE; and %LINE-THROUGH; set their style in the font step.
    {"EM", nullptr, 0, 0, 0, 0, 2, nullptr, kFontBlockInline, nullptr, nullptr},
    {"CITE", nullptr, 0, 0, 0, 0, 2, nullptr, kFontBlockInline, nullptr, nullptr},
    {"DFN", nullptr, 0, 0, 0, 0, 2, nullptr, kFontBlockInline, nullptr, nullptr},
    {"TT", nullptr, 0, 2, 0, 0, 2, nullptr, nullptr, nullptr, nullptr},
    {"KBD", nullptr, 0, 2, 0, 0, 2, nullptr, nullptr, nullptr, nullptr},
    {"SAMP", nullptr, 0, 2, 0, 0, 2, nullptr, nullptr, nullptr, nullptr},
    {"S", nullptr, 0, 0, 0, 0, 2, nullptr, kFontBlockInline, nullptr, nullptr},
    {"STRIKE", nullptr, 0, 0, 0, 0, 2, nullptr, kFontBlockInline, nullptr, nullptr},
    {"DEL", nullptr, 0, 0, 0, 0, 2, nullptr, kFontBlockInline, nullptr, nullptr},
    {"INS", nullptr, 0, 0, 0, 0, 2, nullptr, kFontBlockInline, nullptr, nullptr},
    {"SPAN", nullptr, 0, 0, 0, 0, 2, nullptr, kFontBlockInline, nullptr, nullptr},
    {"LABEL", nullptr, 0, 0, 0, 0, 2, nullptr, kFontBlockInline, nullptr, nullptr},
    {"ACRONYM", nullptr, 0, 0, 0, 0, 2, nullptr, kFontBlockInline, nullptr, nullptr},
    {"TIME", nullptr, 0, 0, 0, 0, 2, nullptr, kFontBlockInline, nullptr, nullptr},
    {"DATA", nullptr, 0, 0, 0, 0, 2, nullptr, kFontBlockInline, nullptr, nullptr},
    {"BDI", nullptr, 0, 0, 0, 0, 2, nullptr, kFontBlockInline, nullptr, nullptr},
    {"BIG", nullptr, 0, 0, 0, 0, 2, nullptr, kFontBlockInline, nullptr, nullptr},
    {"MARK", nullptr, 0, 0, 0, 0, 2, nullptr, kFontBlockInline, nullptr, nullptr},
    {"Q", nullptr, 0, 0, 0, 0, 2, nullptr, kFontBlockInline, QuoteContent, nullptr},
    {"WBR", nullptr, 2, 2, 0, 0, 2, nullptr, kNone, nullptr, nullptr},
    // Sections are blocks, as DIV is, but nest in each other.
    {"SECTION", "fo:block", 0, 0, 0, 0, 2, nullptr, kBlockFontInline, nullptr, nullptr},
    {"ARTICLE", "fo:block", 0, 0, 0, 0, 2, nullptr, kBlockFontInline, nullptr, nullptr},
    {"NAV", "fo:block", 0, 0, 0, 0, 2, nullptr, kBlockFontInline, nullptr, nullptr},
    {"HEADER", "fo:block", 0, 0, 0, 0, 2, nullptr, kBlockFontInline, nullptr, nullptr},
    {"MAIN", "fo:block", 0, 0, 0, 0, 2, nullptr, kBlockFontInline, nullptr, nullptr},
    {"ASIDE", "fo:block", 0, 0, 0, 0, 2, nullptr, kBlockFontInline, nullptr, nullptr},
    {"FIGURE", "fo:block", 0, 0, 0, 0, 2, nullptr, kBlockFontInline, nullptr, nullptr},
    {"FIGCAPTION", "fo:block", 0, 0, 0, 0, 2, nullptr, kBlockFontInline, nullptr, nullptr},
    {"HGROUP", "fo:block", 0, 0, 0, 0, 2, nullptr, kBlockFontInline, nullptr, nullptr},
    {"ADDRESS", "fo:block", 0, 0, 0, 0, 2, nullptr, kBlockFontInline, nullptr, nullptr},
    {"DETAILS", "fo:block", 0, 0, 0, 0, 2, nullptr, kBlockFontInline, nullptr, nullptr},
    {"SUMMARY", "fo:block", 0, 0, 0, 0, 2, nullptr, kBlockFontInline, nullptr, nullptr},
    // A footer outside the head: a block of the body (see kVariants).
    {"XML-BODY-FOOTER", "fo:block", 0, 0, 0, 0, 2, nullptr, kBlockFontInline, nullptr, nullptr},
    // The document's properties, as XMP metadata, and its outline.
    {"XML-DECLARATIONS", "fo:declarations", 2, 2, 0, 0, 0, nullptr, kXmlXmpmeta, nullptr, nullptr},
    {"XML-XMPMETA", "x:xmpmeta", 2, 2, 0, 0, 0, nullptr, kXmlRdf, nullptr, nullptr},
    {"XML-RDF", "rdf:RDF", 2, 2, 0, 0, 0, nullptr, kXmlRdfDescription, nullptr, nullptr},
    {"XML-RDF-DESCRIPTION", "rdf:Description", 2, 2, 0, 0, 0, nullptr, kXmlDcFields, nullptr, nullptr},
    {"XML-DC-TITLE", "dc:title", 2, 2, 0, 0, 0, nullptr, kNone, nullptr, nullptr},
    {"XML-DC-LANGUAGE", "dc:language", 2, 2, 0, 0, 0, nullptr, kNone, nullptr, nullptr},
    {"XML-BOOKMARK-TREE", "fo:bookmark-tree", 2, 2, 0, 0, 0, nullptr, kXmlBookmark, nullptr, nullptr},
    {"XML-BOOKMARK", "fo:bookmark", 2, 2, 0, 0, 0, nullptr, kXmlBookmarkChildren, nullptr, nullptr},
    {"XML-BOOKMARK-TITLE", "fo:bookmark-title", 2, 2, 0, 0, 0, nullptr, kNone, nullptr, nullptr},
    // A header or footer opening ends the table part or caption left open before it (kEnds).
    {"THEAD", "fo:table-header", 1, 0, 0, 0, 0, nullptr, kTr, nullptr, nullptr},
    {"TFOOT", "fo:table-footer", 1, 0, 0, 0, 0, nullptr, kTr, nullptr, nullptr},
    // Table parts and list items outside their table or list (kPlacements):
    // their content prints as a block, an item with its label.
    {"XML-LOOSE-CELL", "fo:block", 1, 0, 0, 0, 2, nullptr, kBrFontBlockInline, nullptr, nullptr},
    {"XML-LOOSE-ROW", "fo:block", 1, 0, 0, 0, 2, nullptr, nullptr, nullptr, nullptr},
    {"XML-LOOSE-ITEM", "fo:block", 1, 0, 0, 0, 2, nullptr, kListItemChildren, LabelLooseItem, nullptr},
    // First, left and right pages of different masters.
    {"XML-PAGE-SEQUENCE-MASTER", "fo:page-sequence-master", 2, 2, 0, 0, 0, nullptr, kXmlPageAlternatives, nullptr, nullptr},
    {"XML-PAGE-ALTERNATIVES", "fo:repeatable-page-master-alternatives", 2, 2, 0, 0, 0, nullptr, kXmlConditionalReference, nullptr, nullptr},
    {"XML-CONDITIONAL-REFERENCE", "fo:conditional-page-master-reference", 2, 2, 1, 0, 0, nullptr, kNone, nullptr, nullptr},
    // The margin boxes of the page: one block, or a row of them as a table's
    // cells; page numbers and running strings inside.
    {"XML-BOX", "fo:block", 2, 2, 0, 0, 0, nullptr, nullptr, nullptr, nullptr},
    {"XML-BOX-TABLE", "fo:table", 2, 2, 0, 0, 0, nullptr, kXmlBoxTableChildren, nullptr, nullptr},
    {"XML-BOX-TABLE-BODY", "fo:table-body", 2, 2, 0, 0, 0, nullptr, kXmlBoxRow, nullptr, nullptr},
    {"XML-BOX-ROW", "fo:table-row", 2, 2, 0, 0, 0, nullptr, kXmlBoxCell, nullptr, nullptr},
    {"XML-BOX-CELL", "fo:table-cell", 2, 2, 0, 0, 0, nullptr, kXmlBox, nullptr, nullptr},
    {"XML-PAGE-NUMBER", "fo:page-number", 2, 2, 1, 0, 0, nullptr, kNone, nullptr, nullptr},
    {"XML-PAGE-NUMBER-CITATION", "fo:page-number-citation", 2, 2, 1, 0, 0, nullptr, kNone, nullptr, nullptr},
    {"XML-RETRIEVE-MARKER", "fo:retrieve-marker", 2, 2, 1, 0, 0, nullptr, kNone, nullptr, nullptr},
    // A running string's value, first in the block that sets it.
    {"XML-MARKER", "fo:marker", 2, 2, 0, 0, 0, nullptr, kNone, nullptr, nullptr},
    // An inline drawing: its markup is read whole and written as the graphic's content.
    {"SVG", "fo:instream-foreign-object", 0, 0, 0, kRawTagForeignXml, 2, nullptr, kNone, nullptr, nullptr},
    // Elements the tables have no row for, kept (when a user style sheet is
    // given) so that the sheets reach them: like SPAN, no element of their
    // own; selectors read their name from the start tag.
    {"XML-ELEMENT", nullptr, 0, 0, 0, 0, 2, nullptr, kFontBlockInline, nullptr, nullptr},
    {"XML-EMPTY-ELEMENT", nullptr, 2, 2, 0, 0, 2, nullptr, kNone, nullptr, nullptr},
};

constexpr TagGroup kGroups[] = {
    {"%BLOCK;", kBlockGroup},
    {"%BLOCK-NO-PG;", kBlockNoPgGroup},
    {"%PARAGRAPH;", kParagraphGroup},
    {"%BLOCK-FB;", kBlockFbGroup},
    {"%INLINE;", kInlineGroup},
    {"%FONT;", kFontGroup},
    {"%MARGINTAGS;", kMarginTagsGroup},
    {"%BORDERTAGS;", kBorderTagsGroup},
    {"%FONTTAGS;", kFontTagsGroup},
    {"%BOLD;", kBoldGroup},
    {"%ITALIC;", kItalicGroup},
    {"%UNDERLINE;", kUnderlineGroup},
    {"%LINE-THROUGH;", kLineThroughGroup},
};

// Who ends whom, as HTML's optional end tags say: a cell at the next cell,
// row or row group; a row at the next row or row group; a row group at the
// next one. An item, term or definition ends the open one of its list, also
// through phrase markup or a DIV inside it, but never one of an outer list
// or table; a paragraph ends the nearest open paragraph outside any table
// cell or list item.
constexpr const char* kCellEnds[] = {"TD", "TH", "XML-LOOSE-CELL", nullptr};
constexpr const char* kCellStops[] = {"TD", "TH", "TR", "TABLE", "XML-LOOSE-CELL", "XML-LOOSE-ROW", nullptr};
constexpr const char* kRowEnds[] = {"TD", "TH", "TR", "CAPTION", "XML-LOOSE-CELL", "XML-LOOSE-ROW", nullptr};
constexpr const char* kRowStops[] = {"TR", "TABLE", "XML-LOOSE-ROW", nullptr};
constexpr const char* kItemEnds[] = {"LI", "XML-LOOSE-ITEM", nullptr};
constexpr const char* kRowGroupEnds[] = {"TD", "TH", "TR", "CAPTION", "THEAD", "TFOOT", nullptr};
constexpr const char* kCaptionEnds[] = {"TD", "TH", "TR", "THEAD", "TFOOT", nullptr};
constexpr const char* kItemStops[] = {"LI", "XML-LOOSE-ITEM", "UL", "OL", "DL", "DD", "DT", "TD", "TH", "CAPTION", "TABLE", "BLOCKQUOTE", nullptr};
constexpr const char* kTermEnds[] = {"DT", "DD", "P", nullptr};
constexpr const char* kParagraphStops[] = {"P", "TD", "TH", "CAPTION", "TABLE", "LI", "DD", "DT", "UL", "OL", "DL", nullptr};

// tag, ends, stops
constexpr ImpliedEnd kEnds[] = {
    {"TD", kCellEnds, kCellStops},
    {"TH", kCellEnds, kCellStops},
    {"TR", kRowEnds, kRowStops},
    {"THEAD", kRowGroupEnds, kTable},
    {"TBODY", kRowGroupEnds, kTable},
    {"TFOOT", kRowGroupEnds, kTable},
    {"CAPTION", kCaptionEnds, kTable},
    {"LI", kItemEnds, kItemStops},
    {"DT", kTermEnds, kItemStops},
    {"DD", kTermEnds, kItemStops},
    {"P", kP, kParagraphStops},
};

constexpr const char* kRowParents[] = {"TABLE", "THEAD", "TFOOT", nullptr};
constexpr const char* kListParents[] = {"UL", "OL", nullptr};

// tag, parents, standIn
constexpr TagPlacement kPlacements[] = {
    {"TD", kTr, "XML-LOOSE-CELL"},
    {"TH", kTr, "XML-LOOSE-CELL"},
    {"CAPTION", kTable, "XML-LOOSE-CELL"},
    {"TR", kRowParents, "XML-LOOSE-ROW"},
    {"THEAD", kTable, "XML-LOOSE-ROW"},
    {"TFOOT", kTable, "XML-LOOSE-ROW"},
    {"XML-TABLE-COLUMN", kTable, nullptr},
    {"LI", kListParents, "XML-LOOSE-ITEM"},
    // The document element only at the top: nested, its FO root would stand
    // inside the flow. HTML ignores a second HTML start tag too.
    {"HTML", kNone, nullptr},
};

// tag, variant
constexpr TagVariant kVariants[] = {
    // The head's running footer; elsewhere an HTML footer is a block.
    {"Footer", "XML-BODY-FOOTER"},
};

// tag, property, value
constexpr DefaultProperty kDefaults[] = {
    {"CODE", "XML-FONT-FACE", kMonospaceFonts},
    {"HR", "XML-leader-pattern", "rule"},
    {"HR", "XML-rule-thickness", "2.0pt"},
    {"HR", "XML-space-before.optimum", "0pt"},
    {"HR", "XML-space-after.optimum", "0pt"},
    {"HR", "XML-start-indent", "0cm"},
    {"HR", "XML-end-indent", "0cm"},
    {"PRE", "XML-white-space-collapse", "false"},
    {"PRE", "XML-FONT-FACE", kMonospaceFonts},
    // Keep the lines and indentation of preformatted text; FOP cannot
    // hyphenate preserved line feeds.
    {"PRE", "XML-LINEFEED-TREATMENT", "preserve"},
    {"PRE", "XML-WHITE-SPACE-TREATMENT", "preserve"},
    {"PRE", "XML-HYPHENATE", "false"},
    // The size of the body's text: preformatted text stands outside paragraphs,
    // whose fonts it would otherwise take.
    {"PRE", "XML-FONT-SIZE", "10pt"},
    {"OL", "XML-provisional-distance-between-starts", "14pt"},
    {"OL", "XML-provisional-label-separation", "3pt"},
    {"UL", "XML-provisional-distance-between-starts", "14pt"},
    {"UL", "XML-provisional-label-separation", "3pt"},
    {"TABLE", "XML-TABLE-LAYOUT", "fixed"},
    {"TABLE", "ALIGN", "left"},
    {"NOBR", "XML-WORDWRAP", "no-wrap"},
    {"CENTER", "ALIGN", "center"},
    {"TT", "XML-FONT-FACE", kMonospaceFonts},
    {"KBD", "XML-FONT-FACE", kMonospaceFonts},
    {"SAMP", "XML-FONT-FACE", kMonospaceFonts},
    {"SUP", "XML-BASELINE-SHIFT", "super"},
    {"SUP", "XML-FONT-SIZE", "smaller"},
    {"SUB", "XML-BASELINE-SHIFT", "sub"},
    {"SUB", "XML-FONT-SIZE", "smaller"},
    // Margins rather than indents: nested quotations add up.
    {"BLOCKQUOTE", "XML-MARGIN-LEFT", "1cm"},
    {"BLOCKQUOTE", "XML-MARGIN-RIGHT", "1cm"},
    {"ADDRESS", "XML-FONT-STYLE", "italic"},
    // An image is never wider than the space it stands in: shrunk, keeping
    // its proportions, where it would be.
    {"IMG", "XML-IMAGE-MAX-WIDTH", "100%"},
    {"IMG", "XML-IMAGE-CONTENT-WIDTH", "scale-down-to-fit"},
    {"DD", "XML-MARGIN-LEFT", "1cm"},
    // The cell carries them, so that the cell's or row's ALIGN, set on its
    // paragraphs, still wins.
    {"TH", "XML-FONT-WEIGHT", "bold"},
    {"TH", "XML-TEXT-ALIGN", "center"},
    {"CAPTION", "ALIGN", "center"},
    // A drawing shrinks into its space as an image does.
    {"SVG", "XML-IMAGE-MAX-WIDTH", "100%"},
    {"SVG", "XML-IMAGE-CONTENT-WIDTH", "scale-down-to-fit"},
    // A drawing taller than the page body (29.7cm less 5cm of margins and
    // regions) would run off its foot: it shrinks, keeping its proportions.
    {"SVG", "XML-DRAWING-MAX-HEIGHT", "24cm"},
    {"SVG", "XML-DRAWING-CONTENT-HEIGHT", "scale-down-to-fit"},
};

// name, outputName, owners, converter
constexpr PropertyDef kProperties[] = {
    {"html-filepos", nullptr, nullptr, nullptr},
    {"XML-NAMESPACE-fo", "xmlns:fo", kHtml, nullptr},
    {"XML-NAMESPACE-fox", "xmlns:fox", kHtml, nullptr},
    {"LANG", nullptr, kHtml, nullptr},
    {"HTTP-EQUIV", nullptr, kMeta, ClearValue},
    {"CONTENT", "encoding", kMeta, nullptr},
    {"NAME", nullptr, kMeta, ClearValue},
    {"FACE", nullptr, kFont, nullptr},
    {"XML-FONT-FACE", "font-family", kFonttags, nullptr},
    {"SIZE", nullptr, kFont, ConvertFontSize},
    {"XML-FONT-SIZE", "font-size", kFonttags, nullptr},
    {"XML-FONT-STYLE", "font-style", kFonttags, nullptr},
    {"XML-FONT-WEIGHT", "font-weight", kFonttags, nullptr},
    {"XML-FONT-TEXT-DECORATION", "text-decoration", kFonttags, nullptr},
    {"XML-FONT-COLOR", "color", kFonttags, nullptr},
    {"COLOR", "@STYLE-color", kFont, nullptr},
    {"XML-LINE-HEIGHT", "line-height", kParagraphFont, nullptr},
    {"XML-SPACE-BEFORE", "space-before.optimum", kParagraph, nullptr},
    {"XML-SPACE-AFTER", "space-after.optimum", kParagraph, nullptr},
    {"LINK", nullptr, kBody, ClearValue},
    {"VLINK", nullptr, kBody, ClearValue},
    {"ALINK", nullptr, kBody, ClearValue},
    {"TEXT", nullptr, kBody, ClearValue},
    {"BORDER", nullptr, kImg, ConvertImageBorder},
    {"BORDER", nullptr, kBordertags, ConvertTableBorder},
    {"BGCOLOR", "background-color", kTableTrTdThBody, nullptr},
    {"BACKGROUND", "background-image", kTdTh, ConvertBackgroundImage},
    {"BORDERCOLOR", nullptr, kBordertags, nullptr},
    {"CELLSPACING", nullptr, kMarginTagsGroup, nullptr},
    {"CELLPADDING", nullptr, kMarginTagsGroup, SpreadCellPadding},
    {"TOPMARGIN", nullptr, kBody, nullptr},
    {"LEFTMARGIN", nullptr, kBody, nullptr},
    {"MARGINWIDTH", nullptr, kBody, nullptr},
    {"MARGINHEIGHT", nullptr, kBody, nullptr},
    {"XML-MARGIN-TOP", "margin-top", kMargintags, nullptr},
    {"XML-MARGIN-BOTTOM", "margin-bottom", kMargintags, nullptr},
    {"XML-MARGIN-LEFT", "margin-left", kMargintags, nullptr},
    {"XML-MARGIN-RIGHT", "margin-right", kMargintags, nullptr},
    {"WIDTH", nullptr, kTable, nullptr},
    {"WIDTH", nullptr, kTdTh, nullptr},
    {"WIDTH", "width", kImg, NormalizePointUnit},
    {"HEIGHT", "height", kTrTdThImg, NormalizePointUnit},
    {"XML-NO-HEIGHT", nullptr, kTdTh, nullptr},
    {"ALIGN", "text-align", kBlockDivCenter, MapAlign},
    {"ALIGN", nullptr, kTdThTr, MapAlign},
    {"VALIGN", nullptr, kPTdThTr, nullptr},
    {"XML-WORDWRAP", "wrap-option", kXmlPageSequenceBlockNobr, nullptr},
    {"XML-HYPHENATE", "hyphenate", kXmlPageSequenceBlock, nullptr},
    // Within a page only: the plain keep-together also forbids breaking the
    // block's lines, which then run past the right margin or break at odd places.
    {"XML-KEEP-TOGETHER", "keep-together.within-page", kBlock, nullptr},
    {"XML-WHITE-SPACE-COLLAPSE", "white-space-collapse", kPPre, nullptr},
    {"XML-ID", "id", kBlockInline, nullptr},
    {"COLSPAN", "number-columns-spanned", kTdTh, nullptr},
    {"ROWSPAN", "number-rows-spanned", kTdTh, nullptr},
    {"REMOVED-ROWSPAN", nullptr, kTdTh, nullptr},
    {"XML-TABLE-COLUMN-WIDTH", "column-width", kXmlTableColumn, nullptr},
    {"XML-TABLE-LAYOUT", "table-layout", kTable, nullptr},
    {"WIDTH", "@XML-TABLE-COLUMN-WIDTH", kXmlTableColumn, nullptr},
    {"XML-BORDER-WIDTH", "border-width", kBordertags, nullptr},
    {"XML-BORDER-COLOR", "border-color", kBordertags, nullptr},
    {"XML-BORDER-STYLE", "border-style", kBordertags, nullptr},
    {"XML-BORDER-LEFT-WIDTH", "border-left-width", kBordertags, nullptr},
    {"XML-BORDER-RIGHT-WIDTH", "border-right-width", kBordertags, nullptr},
    {"XML-BORDER-TOP-WIDTH", "border-top-width", kBordertags, nullptr},
    {"XML-BORDER-BOTTOM-WIDTH", "border-bottom-width", kBordertags, nullptr},
    {"XML-BORDER-LEFT-COLOR", "border-left-color", kBordertags, nullptr},
    {"XML-BORDER-RIGHT-COLOR", "border-right-color", kBordertags, nullptr},
    {"XML-BORDER-TOP-COLOR", "border-top-color", kBordertags, nullptr},
    {"XML-BORDER-BOTTOM-COLOR", "border-bottom-color", kBordertags, nullptr},
    {"XML-BORDER-LEFT-STYLE", "border-left-style", kBordertags, nullptr},
    {"XML-BORDER-RIGHT-STYLE", "border-right-style", kBordertags, nullptr},
    {"XML-BORDER-TOP-STYLE", "border-top-style", kBordertags, nullptr},
    {"XML-BORDER-BOTTOM-STYLE", "border-bottom-style", kBordertags, nullptr},
    {"--", "--", kComment, ClearValue},
    {"--Creator", "Creator", kComment, nullptr},
    {"--Version", "Version", kComment, nullptr},
    {"XML-?-VERSION", "version", kDeclaration, nullptr},
    {"XML-?-ENCODING", "encoding", kDeclaration, nullptr},
    {"XML-?-?", "?", kDeclaration, nullptr},
    {"XML-PAGE-HEIGHT", "page-height", kXmlSimplePageMaster, nullptr},
    {"XML-PAGE-WIDTH", "page-width", kXmlSimplePageMaster, nullptr},
    {"XML-MARGIN-TOP", "margin-top", kXmlSimplePageMasterXmlRegionBody, nullptr},
    {"XML-MARGIN-BOTTOM", "margin-bottom", kXmlSimplePageMasterXmlRegionBody, nullptr},
    {"XML-MARGIN-LEFT", "margin-left", kXmlSimplePageMasterXmlRegionBody, nullptr},
    {"XML-MARGIN-RIGHT", "margin-right", kXmlSimplePageMasterXmlRegionBody, nullptr},
    {"XML-REGION-EXTENT", "extent", kXmlRegionBeforeXmlRegionAfter, nullptr},
    {"XML-PAGE-SEQUENCE-LANGUAGE", "language", kXmlPageSequence, nullptr},
    {"XML-SIMPLE-PAGE-MASTER-NAME", "master-name", kXmlSimplePageMaster, nullptr},
    {"XML-PAGE-SEQUENCE-MASTER-REFERENCE", "master-reference", kXmlPageSequence, nullptr},
    {"BODY-XML-FLOW-NAME", "flow-name", kBodyXmlStaticContent, nullptr},
    {"NAME", "id", kA, RetypeNamedAnchor},
    {"HREF", "external-destination", kA, ConvertLinkTarget},
    {"XML-INTERNAL-DESTINATION", "internal-destination", kA, ConvertLinkTarget},
    {"TARGET", nullptr, kA, nullptr},
    {"SRC", "src", kImg, nullptr},
    {"NAME", nullptr, kImg, nullptr},
    {"ALT", "fox:alt-text", kImg, nullptr},
    {"ALIGN", nullptr, kImg, nullptr},
    {"WIDTH", nullptr, kImg, nullptr},
    {"HEIGHT", nullptr, kImg, nullptr},
    {"BORDER", nullptr, kImg, nullptr},
    {"HSPACE", nullptr, kImg, nullptr},
    {"VSPACE", nullptr, kImg, nullptr},
    {"ONMOUSEOVER", nullptr, kA, nullptr},
    {"ONMOUSEOUT", nullptr, kA, nullptr},
    {"ONLOAD", nullptr, kImg, nullptr},
    {"EEID", nullptr, nullptr, nullptr},
    {"LIST-SEPARATOR", "", nullptr, nullptr},
    {"CLASS", nullptr, nullptr, nullptr},
    {"TITLE", nullptr, kHrAbbr, nullptr},
    {"LANG", nullptr, kAbbr, nullptr},
    {"REL", nullptr, kLink, nullptr},
    {"TYPE", nullptr, kLinkStyle, nullptr},
    {"HREF", nullptr, kLink, nullptr},
    {"XML-leader-pattern", "leader-pattern", kHr, nullptr},
    {"XML-rule-thickness", "rule-thickness", kHr, nullptr},
    {"XML-space-before.optimum", "space-before.optimum", kHr, nullptr},
    {"XML-space-after.optimum", "space-after.optimum", kHr, nullptr},
    {"XML-start-indent", "start-indent", kXmlListItemBodyHr, nullptr},
    {"XML-end-indent", "end-indent", kHr, nullptr},
    {"XML-provisional-distance-between-starts", "provisional-distance-between-starts", kUlOl, nullptr},
    {"XML-provisional-label-separation", "provisional-label-separation", kUlOl, nullptr},
    {"STYLE", nullptr, kFonttagsADivTable, DeclarationConverter},
    {"STYLE-color", nullptr, kFonttags, nullptr},
    {"STYLE-font-size", nullptr, kFonttags, nullptr},
    {"STYLE-font-family", nullptr, kFonttags, nullptr},
    {"STYLE-font-style", nullptr, kFonttags, nullptr},
    {"STYLE-align", nullptr, kFonttags, nullptr},
    {"STYLE-line-height", "@XML-LINE-HEIGHT", kBlockNoPgParagraph, nullptr},
    {"STYLE-margin-top", "margin-top", kP, nullptr},
    {"STYLE-margin-bottom", "margin-bottom", kP, nullptr},
    {"STYLE-margin-left", "margin-left", kP, nullptr},
    {"STYLE-margin-right", "margin-right", kP, nullptr},
    {"STYLE-page-break-before", nullptr, kBlockTable, MapPageBreak},
    {"STYLE-page-break-inside", nullptr, kBlockTable, MapPageBreak},
    {"STYLE-page-break-after", nullptr, kBlockTable, MapPageBreak},
    {"STYLE-text-decoration", "text-decoration", kPA, nullptr},
    {"STYLE-color", "color", kPA, nullptr},
    {"XML-CONFIG", nullptr, nullptr, DeclarationConverter},
    {"XML-CONFIG-convert-row-spans", nullptr, kHtmlBodyTable, nullptr},
    {"XML-CONFIG-convert-table-borders", nullptr, kHtmlBodyTable, nullptr},
    {"XML-CONFIG-convert-links", nullptr, nullptr, nullptr},
    {"XML-CONFIG-max-content-width", nullptr, kBodyTdTh, nullptr},
    {"XML-LINEFEED-TREATMENT", "linefeed-treatment", kPre, nullptr},
    {"XML-WHITE-SPACE-TREATMENT", "white-space-treatment", kPre, nullptr},
    // Any element may be a link target.
    {"ID", "id", nullptr, PlaceIdTarget},
    {"XML-BASELINE-SHIFT", "baseline-shift", kSupSub, nullptr},
    {"XML-FONT-SIZE", "font-size", kSupSub, nullptr},
    {"XML-MARGIN-LEFT", "margin-left", kBlockquote, nullptr},
    {"XML-MARGIN-RIGHT", "margin-right", kBlockquote, nullptr},
    {"XML-CONFIG-max-content-width", nullptr, kBlockquote, nullptr},
    // On the block itself, so that all of the address is italic, also text
    // outside paragraphs, which the font step does not reach.
    {"XML-FONT-STYLE", "font-style", kAddress, nullptr},
    // The document's language, where FOP takes it for the whole PDF.
    {"XML-ROOT-LANGUAGE", "language", kHtml, nullptr},
    {"XML-NAMESPACE-x", "xmlns:x", kXmlXmpmeta, nullptr},
    {"XML-NAMESPACE-rdf", "xmlns:rdf", kXmlRdf, nullptr},
    {"XML-NAMESPACE-dc", "xmlns:dc", kXmlRdfDescription, nullptr},
    {"XML-RDF-ABOUT", "rdf:about", kXmlRdfDescription, nullptr},
    {"XML-BOOKMARK-DESTINATION", "internal-destination", kXmlBookmark, nullptr},
    {"XML-IMAGE-MAX-WIDTH", "inline-progression-dimension.maximum", kImgSvg, nullptr},
    {"XML-IMAGE-CONTENT-WIDTH", "content-width", kImgSvg, nullptr},
    {"XML-TEXT-ALIGN", "text-align", kTh, nullptr},
    {"XML-MARGIN-LEFT", "margin-left", kDd, nullptr},
    // List numbering, read by the list handler.
    {"TYPE", nullptr, kOlLi, nullptr},
    {"START", nullptr, kOl, nullptr},
    {"VALUE", nullptr, kLi, nullptr},
    {"XML-PAGE-SEQUENCE-FONT-FAMILY", "font-family", kXmlPageSequence, nullptr},
    // The breaks and keeps that page-break-before, -after and -inside become.
    {"XML-BREAK-BEFORE", "break-before", kBlockTable, nullptr},
    {"XML-BREAK-AFTER", "break-after", kBlockTable, nullptr},
    {"XML-KEEP-WITH-PREVIOUS", "keep-with-previous.within-page", kBlockTable, nullptr},
    {"XML-KEEP-WITH-NEXT", "keep-with-next.within-page", kBlockTable, nullptr},
    // The page the style sheets give.
    {"XML-REGION-NAME", "region-name", kXmlRegionBeforeXmlRegionAfter, nullptr},
    {"XML-DISPLAY-ALIGN", "display-align", kXmlRegionBeforeXmlRegionAfter, nullptr},
    {"XML-SEQUENCE-MASTER-NAME", "master-name", kXmlPageSequenceMaster, nullptr},
    {"XML-MASTER-REFERENCE", "master-reference", kXmlConditionalReference, nullptr},
    {"XML-PAGE-POSITION", "page-position", kXmlConditionalReference, nullptr},
    {"XML-ODD-OR-EVEN", "odd-or-even", kXmlConditionalReference, nullptr},
    {"XML-REF-ID", "ref-id", kXmlPageNumberCitation, nullptr},
    {"XML-MARKER-CLASS-NAME", "marker-class-name", kXmlMarker, nullptr},
    {"XML-RETRIEVE-CLASS-NAME", "retrieve-class-name", kXmlRetrieveMarker, nullptr},
    {"XML-RETRIEVE-POSITION", "retrieve-position", kXmlRetrieveMarker, nullptr},
    {"XML-BOX-TEXT-ALIGN", "text-align", kXmlBox, nullptr},
    {"XML-BOX-FONT-SIZE", "font-size", kXmlBox, nullptr},
    {"XML-BOX-COLOR", "color", kXmlBox, nullptr},
    {"XML-BOX-TABLE-LAYOUT", "table-layout", kXmlBoxTable, nullptr},
    {"XML-BOX-TABLE-WIDTH", "width", kXmlBoxTable, nullptr},
    // What the style sheets give text beyond the fonts, written where the
    // font step writes the fonts or on the element's own block.
    {"XML-CSS-FONT-VARIANT", "font-variant", nullptr, nullptr},
    {"XML-CSS-TEXT-TRANSFORM", "text-transform", nullptr, nullptr},
    {"XML-CSS-LETTER-SPACING", "letter-spacing", nullptr, nullptr},
    {"XML-CSS-WORD-SPACING", "word-spacing", nullptr, nullptr},
    {"XML-CSS-BACKGROUND-COLOR", "background-color", nullptr, nullptr},
    {"XML-CSS-BASELINE-SHIFT", "baseline-shift", nullptr, nullptr},
    {"XML-CSS-TEXT-ALIGN", "text-align", nullptr, nullptr},
    {"XML-CSS-TEXT-INDENT", "text-indent", nullptr, nullptr},
    {"XML-CSS-LINEFEED-TREATMENT", "linefeed-treatment", nullptr, nullptr},
    {"XML-CSS-WHITE-SPACE-TREATMENT", "white-space-treatment", nullptr, nullptr},
    {"XML-CSS-WHITE-SPACE-COLLAPSE", "white-space-collapse", nullptr, nullptr},
    {"XML-CSS-WRAP-OPTION", "wrap-option", nullptr, nullptr},
    // The fonts on a block of the sheets', for the text it holds outside paragraphs.
    {"XML-CSS-FONT-FAMILY", "font-family", nullptr, nullptr},
    {"XML-CSS-FONT-SIZE", "font-size", nullptr, nullptr},
    {"XML-CSS-FONT-WEIGHT", "font-weight", nullptr, nullptr},
    {"XML-CSS-FONT-STYLE", "font-style", nullptr, nullptr},
    {"XML-CSS-COLOR", "color", nullptr, nullptr},
    {"XML-CSS-LINE-HEIGHT", "line-height", nullptr, nullptr},
    {"XML-DRAWING-MAX-HEIGHT", "block-progression-dimension.maximum", kSvg, nullptr},
    {"XML-DRAWING-CONTENT-HEIGHT", "content-height", kSvg, nullptr},
    // The boxes the style sheets give tables, rows and cells.
    {"XML-CSS-BORDER-COLLAPSE", "border-collapse", nullptr, nullptr},
    {"XML-CSS-BORDER-SEPARATION-IPD", "border-separation.inline-progression-direction", nullptr, nullptr},
    {"XML-CSS-BORDER-SEPARATION-BPD", "border-separation.block-progression-direction", nullptr, nullptr},
    {"XML-CSS-BORDER-TOP", "border-top", nullptr, nullptr},
    {"XML-CSS-BORDER-RIGHT", "border-right", nullptr, nullptr},
    {"XML-CSS-BORDER-BOTTOM", "border-bottom", nullptr, nullptr},
    {"XML-CSS-BORDER-LEFT", "border-left", nullptr, nullptr},
    {"XML-CSS-PADDING-TOP", "padding-top", nullptr, nullptr},
    {"XML-CSS-PADDING-RIGHT", "padding-right", nullptr, nullptr},
    {"XML-CSS-PADDING-BOTTOM", "padding-bottom", nullptr, nullptr},
    {"XML-CSS-PADDING-LEFT", "padding-left", nullptr, nullptr},
    // Four sides alike, in one property: cells mostly have them, and a page
    // of cells writes them hundreds of thousands of times.
    {"XML-CSS-BORDER", "border", nullptr, nullptr},
    {"XML-CSS-PADDING", "padding", nullptr, nullptr},
    {"XML-CSS-DISPLAY-ALIGN", "display-align", nullptr, nullptr},
    {"XML-CSS-TABLE-WIDTH", "width", nullptr, nullptr},
    // COL SPAN: the columns it stands for (the table steps make them).
    {"SPAN", nullptr, kXmlTableColumn, nullptr},
    // The boxes the style sheets give blocks, lists and their items.
    {"XML-BOX-SPACE-BEFORE", "space-before.optimum", nullptr, nullptr},
    {"XML-BOX-SPACE-AFTER", "space-after.optimum", nullptr, nullptr},
    {"XML-BOX-MARGIN-LEFT", "margin-left", nullptr, nullptr},
    {"XML-BOX-MARGIN-RIGHT", "margin-right", nullptr, nullptr},
    {"XML-BOX-PADDING-TOP", "padding-top", nullptr, nullptr},
    {"XML-BOX-PADDING-RIGHT", "padding-right", nullptr, nullptr},
    {"XML-BOX-PADDING-BOTTOM", "padding-bottom", nullptr, nullptr},
    {"XML-BOX-PADDING-LEFT", "padding-left", nullptr, nullptr},
    {"XML-BOX-BORDER-TOP-WIDTH", "border-top-width", nullptr, nullptr},
    {"XML-BOX-BORDER-RIGHT-WIDTH", "border-right-width", nullptr, nullptr},
    {"XML-BOX-BORDER-BOTTOM-WIDTH", "border-bottom-width", nullptr, nullptr},
    {"XML-BOX-BORDER-LEFT-WIDTH", "border-left-width", nullptr, nullptr},
    {"XML-BOX-BORDER-TOP-STYLE", "border-top-style", nullptr, nullptr},
    {"XML-BOX-BORDER-RIGHT-STYLE", "border-right-style", nullptr, nullptr},
    {"XML-BOX-BORDER-BOTTOM-STYLE", "border-bottom-style", nullptr, nullptr},
    {"XML-BOX-BORDER-LEFT-STYLE", "border-left-style", nullptr, nullptr},
    {"XML-BOX-BORDER-TOP-COLOR", "border-top-color", nullptr, nullptr},
    {"XML-BOX-BORDER-RIGHT-COLOR", "border-right-color", nullptr, nullptr},
    {"XML-BOX-BORDER-BOTTOM-COLOR", "border-bottom-color", nullptr, nullptr},
    {"XML-BOX-BORDER-LEFT-COLOR", "border-left-color", nullptr, nullptr},
    {"XML-BOX-BREAK-BEFORE", "break-before", nullptr, nullptr},
    {"XML-BOX-BREAK-AFTER", "break-after", nullptr, nullptr},
    {"XML-BOX-KEEP-WITH-PREVIOUS", "keep-with-previous.within-page", nullptr, nullptr},
    {"XML-BOX-KEEP-WITH-NEXT", "keep-with-next.within-page", nullptr, nullptr},
    {"XML-BOX-KEEP-TOGETHER", "keep-together.within-page", nullptr, nullptr},
    {"XML-BOX-ORPHANS", "orphans", nullptr, nullptr},
    {"XML-BOX-WIDOWS", "widows", nullptr, nullptr},
    {"XML-BOX-LEADER-LENGTH", "leader-length", nullptr, nullptr},
    {"XML-BOX-COLOR", "color", nullptr, nullptr},
    {"XML-BOX-LINE-HEIGHT", "line-height", nullptr, nullptr},
    {"XML-BOX-END-INDENT", "end-indent", nullptr, nullptr},
};

constexpr NameList kLists[] = {kNone, kA, kAbbr, kAddress, kBlockquote, kBold, kBoldGroup, kItalic, kItalicGroup, kLineThrough, kLineThroughGroup, kSupSub, kUnderline, kUnderlineGroup, kBlock, kBlockFb, kBlockDivCenter, kBlockFbGroup, kBlockFontInline, kBlockGroup, kBlockInline, kBlockNoPgGroup, kBlockNoPgParagraph, kBlockTable, kBody, kBodyXmlStaticContent, kBorderTagsGroup, kBordertags, kBrFontBlockInline, kCol, kComment, kDeclaration, kDtDdLiBlockFontInline, kFont, kFontBlockInline, kFontBlockInlineComment, kFontBlockInlinePre, kFontGroup, kFontInline, kFontTagsGroup, kFonttags, kFonttagsADivTable, kHeadChildren, kHr, kHrAbbr, kHtml, kHtmlBodyTable, kHtmlChildren, kImg, kInline, kInlineGroup, kLi, kLink, kLinkStyle, kListItemChildren, kMarginTagsGroup, kMargintags, kMeta, kP, kPre, kPA, kPPre, kPageMasterChildren, kParagraph, kParagraphFont, kParagraphGroup, kTable, kTableChildren, kTdTh, kTdThXmlEmptyCell, kTr, kUlOl, kXmlListItemBodyHr, kXmlPageSequence, kXmlPageSequenceBlock, kXmlPageSequenceBlockNobr, kXmlRegionBeforeXmlRegionAfter, kXmlSimplePageMaster, kXmlSimplePageMasterXmlRegionBody, kXmlTableColumn, kHeadings, kXmlXmpmeta, kXmlRdf, kXmlRdfDescription, kXmlDcFields, kXmlBookmark, kXmlBookmarkChildren, kBodyTdTh, kPTdThTr, kTableTrTdThBody, kTdThTr, kTrTdThImg, kTh, kDd, kOl, kOlLi, kCellEnds, kCellStops, kRowEnds, kRowStops, kRowGroupEnds, kCaptionEnds, kItemStops, kTermEnds, kParagraphStops, kItemEnds, kRowParents, kListParents, kTextBlocks, kStaticContentChildren, kXmlPageMasters, kXmlPageSequenceMaster, kXmlPageAlternatives, kXmlConditionalReference, kXmlPageNumberCitation, kXmlMarker, kXmlRetrieveMarker, kXmlBox, kXmlBoxTable, kXmlBoxTableBody, kXmlBoxRow, kXmlBoxCell, kXmlBoxTableChildren, kImgSvg, kSvg};

}  // namespace

const std::span<const TagDef> kTagDatabase(kTags);
const std::span<const TagGroup> kTagGroups(kGroups);
const std::span<const DefaultProperty> kDefaultProperties(kDefaults);
// A property holds its row in one byte (TagProperty), 0 for none.
static_assert(std::size(kProperties) < 255, "more property rows than a property can name");
const std::span<const PropertyDef> kPropertyDatabase(kProperties);
const std::span<const TagVariant> kTagVariants(kVariants);
const std::span<const ImpliedEnd> kImpliedEnds(kEnds);
const std::span<const TagPlacement> kTagPlacements(kPlacements);
const std::span<const NameList> kAllNameLists(kLists);

const NameList kBlockTags = kBlock;
const NameList kInlineTags = kInline;
const NameList kParagraphTags = kParagraph;
const NameList kBlockFbTags = kBlockFb;
const NameList kItemListTags = kUlOl;
const NameList kFontTags = kFonttags;
const NameList kBoldTags = kBold;
const NameList kItalicTags = kItalic;
const NameList kUnderlineTags = kUnderline;
const NameList kLineThroughTags = kLineThrough;
const NameList kHeadingTags = kHeadings;
const NameList kTextBlockTags = kTextBlocks;
const NameList kVoidUnknownTags = kVoidUnknown;

}  // namespace ps
