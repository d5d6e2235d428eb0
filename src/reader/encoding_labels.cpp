// The labels pages use for their encodings, resolved as browsers resolve
// them: "latin1", "iso-8859-1" and "ascii" mean windows-1252, "euc-kr" its
// superset windows-949, "gb2312" GBK, "sjis" the Windows form of Shift_JIS.
#include <cstring>

#include "model/tables.h"
#include "reader/encoding.h"

namespace ps {

namespace {

enum EncodingId {
  kUtf8, kIbm866, kIso8859_2, kIso8859_3, kIso8859_4, kIso8859_5, kIso8859_6, kIso8859_7, kIso8859_8,
  kIso8859_8I, kIso8859_10, kIso8859_13, kIso8859_14, kIso8859_15, kIso8859_16, kKoi8R, kKoi8U, kMacintosh,
  kWindows874, kWindows1250, kWindows1251, kWindows1252, kWindows1253, kWindows1254, kWindows1255,
  kWindows1256, kWindows1257, kWindows1258, kMacCyrillic, kGbk, kGb18030, kBig5, kEucJp, kIso2022Jp,
  kShiftJis, kEucKr, kIso2022Kr, kIso2022Cn, kIso2022CnExt, kHzGb2312, kUtf16Be, kUtf16Le,
};

// name, iconv name, code unit, seven-bit; in the order of EncodingId.
constexpr Encoding kEncodings[] = {
    {"UTF-8", nullptr, 1, false},
    {"IBM866", "IBM866", 1, false},
    {"ISO-8859-2", "ISO-8859-2", 1, false},
    {"ISO-8859-3", "ISO-8859-3", 1, false},
    {"ISO-8859-4", "ISO-8859-4", 1, false},
    {"ISO-8859-5", "ISO-8859-5", 1, false},
    {"ISO-8859-6", "ISO-8859-6", 1, false},
    {"ISO-8859-7", "ISO-8859-7", 1, false},
    {"ISO-8859-8", "ISO-8859-8", 1, false},
    {"ISO-8859-8-I", "ISO-8859-8", 1, false},  // the same characters, in logical order
    {"ISO-8859-10", "ISO-8859-10", 1, false},
    {"ISO-8859-13", "ISO-8859-13", 1, false},
    {"ISO-8859-14", "ISO-8859-14", 1, false},
    {"ISO-8859-15", "ISO-8859-15", 1, false},
    {"ISO-8859-16", "ISO-8859-16", 1, false},
    {"KOI8-R", "KOI8-R", 1, false},
    {"KOI8-U", "KOI8-U", 1, false},
    {"macintosh", "MACINTOSH", 1, false},
    {"windows-874", "CP874", 1, false},
    {"windows-1250", "CP1250", 1, false},
    {"windows-1251", "CP1251", 1, false},
    {"windows-1252", nullptr, 1, false},
    {"windows-1253", "CP1253", 1, false},
    {"windows-1254", "CP1254", 1, false},
    {"windows-1255", "CP1255", 1, false},
    {"windows-1256", "CP1256", 1, false},
    {"windows-1257", "CP1257", 1, false},
    {"windows-1258", "CP1258", 1, false},
    {"x-mac-cyrillic", "MAC-CYRILLIC", 1, false},
    {"GBK", "GBK", 1, false},
    {"gb18030", "GB18030", 1, false},
    {"Big5", "BIG5-HKSCS", 1, false},
    {"EUC-JP", "EUC-JP", 1, false},
    {"ISO-2022-JP", "ISO-2022-JP", 1, true},
    {"Shift_JIS", "CP932", 1, false},
    {"EUC-KR", "CP949", 1, false},
    // Browsers read these four as one replacement character, for their
    // security; a printed page keeps its text, where a conversion exists.
    {"ISO-2022-KR", "ISO-2022-KR", 1, true},
    {"ISO-2022-CN", "ISO-2022-CN", 1, true},
    {"ISO-2022-CN-EXT", "ISO-2022-CN-EXT", 1, true},
    {"HZ-GB-2312", "HZ-GB-2312", 1, true},
    {"UTF-16BE", "UTF-16BE", 2, false},
    {"UTF-16LE", "UTF-16LE", 2, false},
};

struct Label {
  const char* label;
  EncodingId encoding;
};

constexpr Label kLabels[] = {
    {"unicode-1-1-utf-8", kUtf8}, {"unicode11utf8", kUtf8}, {"unicode20utf8", kUtf8}, {"utf-8", kUtf8},
    {"utf8", kUtf8}, {"x-unicode20utf8", kUtf8},
    {"866", kIbm866}, {"cp866", kIbm866}, {"csibm866", kIbm866}, {"ibm866", kIbm866},
    {"csisolatin2", kIso8859_2}, {"iso-8859-2", kIso8859_2}, {"iso-ir-101", kIso8859_2},
    {"iso8859-2", kIso8859_2}, {"iso88592", kIso8859_2}, {"iso_8859-2", kIso8859_2},
    {"iso_8859-2:1987", kIso8859_2}, {"l2", kIso8859_2}, {"latin2", kIso8859_2},
    {"csisolatin3", kIso8859_3}, {"iso-8859-3", kIso8859_3}, {"iso-ir-109", kIso8859_3},
    {"iso8859-3", kIso8859_3}, {"iso88593", kIso8859_3}, {"iso_8859-3", kIso8859_3},
    {"iso_8859-3:1988", kIso8859_3}, {"l3", kIso8859_3}, {"latin3", kIso8859_3},
    {"csisolatin4", kIso8859_4}, {"iso-8859-4", kIso8859_4}, {"iso-ir-110", kIso8859_4},
    {"iso8859-4", kIso8859_4}, {"iso88594", kIso8859_4}, {"iso_8859-4", kIso8859_4},
    {"iso_8859-4:1988", kIso8859_4}, {"l4", kIso8859_4}, {"latin4", kIso8859_4},
    {"csisolatincyrillic", kIso8859_5}, {"cyrillic", kIso8859_5}, {"iso-8859-5", kIso8859_5},
    {"iso-ir-144", kIso8859_5}, {"iso8859-5", kIso8859_5}, {"iso88595", kIso8859_5},
    {"iso_8859-5", kIso8859_5}, {"iso_8859-5:1988", kIso8859_5},
    {"arabic", kIso8859_6}, {"asmo-708", kIso8859_6}, {"csiso88596e", kIso8859_6}, {"csiso88596i", kIso8859_6},
    {"csisolatinarabic", kIso8859_6}, {"ecma-114", kIso8859_6}, {"iso-8859-6", kIso8859_6},
    {"iso-8859-6-e", kIso8859_6}, {"iso-8859-6-i", kIso8859_6}, {"iso-ir-127", kIso8859_6},
    {"iso8859-6", kIso8859_6}, {"iso88596", kIso8859_6}, {"iso_8859-6", kIso8859_6},
    {"iso_8859-6:1987", kIso8859_6},
    {"csisolatingreek", kIso8859_7}, {"ecma-118", kIso8859_7}, {"elot_928", kIso8859_7}, {"greek", kIso8859_7},
    {"greek8", kIso8859_7}, {"iso-8859-7", kIso8859_7}, {"iso-ir-126", kIso8859_7}, {"iso8859-7", kIso8859_7},
    {"iso88597", kIso8859_7}, {"iso_8859-7", kIso8859_7}, {"iso_8859-7:1987", kIso8859_7},
    {"sun_eu_greek", kIso8859_7},
    {"csiso88598e", kIso8859_8}, {"csisolatinhebrew", kIso8859_8}, {"hebrew", kIso8859_8},
    {"iso-8859-8", kIso8859_8}, {"iso-8859-8-e", kIso8859_8}, {"iso-ir-138", kIso8859_8},
    {"iso8859-8", kIso8859_8}, {"iso88598", kIso8859_8}, {"iso_8859-8", kIso8859_8},
    {"iso_8859-8:1988", kIso8859_8}, {"visual", kIso8859_8},
    {"csiso88598i", kIso8859_8I}, {"iso-8859-8-i", kIso8859_8I}, {"logical", kIso8859_8I},
    {"csisolatin6", kIso8859_10}, {"iso-8859-10", kIso8859_10}, {"iso-ir-157", kIso8859_10},
    {"iso8859-10", kIso8859_10}, {"iso885910", kIso8859_10}, {"l6", kIso8859_10}, {"latin6", kIso8859_10},
    {"iso-8859-13", kIso8859_13}, {"iso8859-13", kIso8859_13}, {"iso885913", kIso8859_13},
    {"iso-8859-14", kIso8859_14}, {"iso8859-14", kIso8859_14}, {"iso885914", kIso8859_14},
    {"csisolatin9", kIso8859_15}, {"iso-8859-15", kIso8859_15}, {"iso8859-15", kIso8859_15},
    {"iso885915", kIso8859_15}, {"iso_8859-15", kIso8859_15}, {"l9", kIso8859_15},
    {"iso-8859-16", kIso8859_16},
    {"cskoi8r", kKoi8R}, {"koi", kKoi8R}, {"koi8", kKoi8R}, {"koi8-r", kKoi8R}, {"koi8_r", kKoi8R},
    {"koi8-ru", kKoi8U}, {"koi8-u", kKoi8U},
    {"csmacintosh", kMacintosh}, {"mac", kMacintosh}, {"macintosh", kMacintosh}, {"x-mac-roman", kMacintosh},
    {"dos-874", kWindows874}, {"iso-8859-11", kWindows874}, {"iso8859-11", kWindows874},
    {"iso885911", kWindows874}, {"tis-620", kWindows874}, {"windows-874", kWindows874},
    {"cp1250", kWindows1250}, {"windows-1250", kWindows1250}, {"x-cp1250", kWindows1250},
    {"cp1251", kWindows1251}, {"windows-1251", kWindows1251}, {"x-cp1251", kWindows1251},
    {"ansi_x3.4-1968", kWindows1252}, {"ascii", kWindows1252}, {"cp1252", kWindows1252},
    {"cp819", kWindows1252}, {"csisolatin1", kWindows1252}, {"ibm819", kWindows1252},
    {"iso-8859-1", kWindows1252}, {"iso-ir-100", kWindows1252}, {"iso8859-1", kWindows1252},
    {"iso88591", kWindows1252}, {"iso_8859-1", kWindows1252}, {"iso_8859-1:1987", kWindows1252},
    {"l1", kWindows1252}, {"latin1", kWindows1252}, {"us-ascii", kWindows1252},
    {"windows-1252", kWindows1252}, {"x-cp1252", kWindows1252},
    // Browsers read it byte for byte into private characters; as text it
    // is nearest to windows-1252, which is how they prescan it.
    {"x-user-defined", kWindows1252},
    {"cp1253", kWindows1253}, {"windows-1253", kWindows1253}, {"x-cp1253", kWindows1253},
    {"cp1254", kWindows1254}, {"csisolatin5", kWindows1254}, {"iso-8859-9", kWindows1254},
    {"iso-ir-148", kWindows1254}, {"iso8859-9", kWindows1254}, {"iso88599", kWindows1254},
    {"iso_8859-9", kWindows1254}, {"iso_8859-9:1989", kWindows1254}, {"l5", kWindows1254},
    {"latin5", kWindows1254}, {"windows-1254", kWindows1254}, {"x-cp1254", kWindows1254},
    {"cp1255", kWindows1255}, {"windows-1255", kWindows1255}, {"x-cp1255", kWindows1255},
    {"cp1256", kWindows1256}, {"windows-1256", kWindows1256}, {"x-cp1256", kWindows1256},
    {"cp1257", kWindows1257}, {"windows-1257", kWindows1257}, {"x-cp1257", kWindows1257},
    {"cp1258", kWindows1258}, {"windows-1258", kWindows1258}, {"x-cp1258", kWindows1258},
    {"x-mac-cyrillic", kMacCyrillic}, {"x-mac-ukrainian", kMacCyrillic},
    {"chinese", kGbk}, {"csgb2312", kGbk}, {"csiso58gb231280", kGbk}, {"gb2312", kGbk}, {"gb_2312", kGbk},
    {"gb_2312-80", kGbk}, {"gbk", kGbk}, {"iso-ir-58", kGbk}, {"x-gbk", kGbk},
    {"gb18030", kGb18030},
    {"big5", kBig5}, {"big5-hkscs", kBig5}, {"cn-big5", kBig5}, {"csbig5", kBig5}, {"x-x-big5", kBig5},
    {"cseucpkdfmtjapanese", kEucJp}, {"euc-jp", kEucJp}, {"x-euc-jp", kEucJp},
    {"csiso2022jp", kIso2022Jp}, {"iso-2022-jp", kIso2022Jp},
    {"csshiftjis", kShiftJis}, {"ms932", kShiftJis}, {"ms_kanji", kShiftJis}, {"shift-jis", kShiftJis},
    {"shift_jis", kShiftJis}, {"sjis", kShiftJis}, {"windows-31j", kShiftJis}, {"x-sjis", kShiftJis},
    {"cseuckr", kEucKr}, {"csksc56011987", kEucKr}, {"euc-kr", kEucKr}, {"iso-ir-149", kEucKr},
    {"korean", kEucKr}, {"ks_c_5601-1987", kEucKr}, {"ks_c_5601-1989", kEucKr}, {"ksc5601", kEucKr},
    {"ksc_5601", kEucKr}, {"windows-949", kEucKr},
    {"csiso2022kr", kIso2022Kr}, {"iso-2022-kr", kIso2022Kr},
    {"iso-2022-cn", kIso2022Cn}, {"iso-2022-cn-ext", kIso2022CnExt},
    {"hz-gb-2312", kHzGb2312},
    {"unicodefffe", kUtf16Be}, {"utf-16be", kUtf16Be},
    {"csunicode", kUtf16Le}, {"iso-10646-ucs-2", kUtf16Le}, {"ucs-2", kUtf16Le}, {"unicode", kUtf16Le},
    {"unicodefeff", kUtf16Le}, {"utf-16", kUtf16Le}, {"utf-16le", kUtf16Le},
};

bool IsLabelSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }

}  // namespace

const Encoding* FindEncoding(std::string_view label) {
  while (!label.empty() && IsLabelSpace(label.front())) label.remove_prefix(1);
  while (!label.empty() && IsLabelSpace(label.back())) label.remove_suffix(1);
  for (const Label& l : kLabels)
    if (EqualsNoCase(label, l.label)) return &kEncodings[l.encoding];
  return nullptr;
}

}  // namespace ps
