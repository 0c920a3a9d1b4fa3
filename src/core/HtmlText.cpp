#include "core/HtmlText.h"

#include "core/AsciiText.h"
#include "core/Utf8.h"

#include <algorithm>
#include <cstddef>
#include <optional>
#include <unordered_map>
#include <vector>

namespace HtmlText {

namespace {

// &#128; to &#159; as Windows-1252 reads those bytes, as browsers decode them; its five unused
// bytes stay the control characters they name.
constexpr char32_t kWindows1252C1[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// HTML 4's named characters (those newsletters use); Latin-1 runs from U+00A0 in table order.
constexpr std::string_view kLatin1Names =
    "nbsp iexcl cent pound curren yen brvbar sect uml copy ordf laquo not shy reg macr deg plusmn "
    "sup2 sup3 acute micro para middot cedil sup1 ordm raquo frac14 frac12 frac34 iquest Agrave "
    "Aacute Acirc Atilde Auml Aring AElig Ccedil Egrave Eacute Ecirc Euml Igrave Iacute Icirc Iuml "
    "ETH Ntilde Ograve Oacute Ocirc Otilde Ouml times Oslash Ugrave Uacute Ucirc Uuml Yacute THORN "
    "szlig agrave aacute acirc atilde auml aring aelig ccedil egrave eacute ecirc euml igrave "
    "iacute "
    "icirc iuml eth ntilde ograve oacute ocirc otilde ouml divide oslash ugrave uacute ucirc uuml "
    "yacute thorn yuml";
// Greek from U+0391 and from U+03B1; "-" holds the place of U+03A2, which has no letter.
constexpr std::string_view kGreekNames =
    "Alpha Beta Gamma Delta Epsilon Zeta Eta Theta Iota Kappa Lambda Mu Nu Xi Omicron Pi Rho - "
    "Sigma Tau Upsilon Phi Chi Psi Omega";
constexpr std::string_view kSmallGreekNames =
    "alpha beta gamma delta epsilon zeta eta theta iota kappa lambda mu nu xi omicron pi rho "
    "sigmaf sigma tau upsilon phi chi psi omega";
constexpr std::string_view kOtherNames =
    "quot:34 amp:38 apos:39 lt:60 gt:62 OElig:338 oelig:339 Scaron:352 scaron:353 Yuml:376 "
    "fnof:402 circ:710 tilde:732 thetasym:977 upsih:978 piv:982 ensp:8194 emsp:8195 thinsp:8201 "
    "zwnj:8204 zwj:8205 lrm:8206 rlm:8207 ndash:8211 mdash:8212 lsquo:8216 rsquo:8217 sbquo:8218 "
    "ldquo:8220 rdquo:8221 bdquo:8222 dagger:8224 Dagger:8225 bull:8226 hellip:8230 permil:8240 "
    "prime:8242 Prime:8243 lsaquo:8249 rsaquo:8250 oline:8254 frasl:8260 euro:8364 image:8465 "
    "weierp:8472 real:8476 trade:8482 alefsym:8501 larr:8592 uarr:8593 rarr:8594 darr:8595 "
    "harr:8596 crarr:8629 lArr:8656 uArr:8657 rArr:8658 dArr:8659 hArr:8660 forall:8704 part:8706 "
    "exist:8707 empty:8709 nabla:8711 isin:8712 notin:8713 ni:8715 prod:8719 sum:8721 minus:8722 "
    "lowast:8727 radic:8730 prop:8733 infin:8734 ang:8736 and:8743 or:8744 cap:8745 cup:8746 "
    "int:8747 there4:8756 sim:8764 cong:8773 asymp:8776 ne:8800 equiv:8801 le:8804 ge:8805 "
    "sub:8834 sup:8835 nsub:8836 sube:8838 supe:8839 oplus:8853 otimes:8855 perp:8869 sdot:8901 "
    "lceil:8968 rceil:8969 lfloor:8970 rfloor:8971 lang:9001 rang:9002 loz:9674 spades:9824 "
    "clubs:9827 hearts:9829 diams:9830";

std::vector<std::string_view> Words(std::string_view text) {
  std::vector<std::string_view> words;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = std::min(text.find(' ', at), text.size());
    words.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  return words;
}

const std::unordered_map<std::string_view, char32_t>& NamedCharacters() {
  static const auto table = [] {
    std::unordered_map<std::string_view, char32_t> names;
    char32_t code = 0xA0;
    for (const std::string_view name : Words(kLatin1Names)) names.emplace(name, code++);
    code = 0x391;
    for (const std::string_view name : Words(kGreekNames)) names.emplace(name, code++);
    names.erase("-");
    code = 0x3B1;
    for (const std::string_view name : Words(kSmallGreekNames)) names.emplace(name, code++);
    for (const std::string_view pair : Words(kOtherNames)) {
      const std::size_t colon = pair.find(':');
      names.emplace(pair.substr(0, colon), std::stoul(std::string(pair.substr(colon + 1))));
    }
    return names;
  }();
  return table;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }
bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The reference at text[at] ('&'): its text and length, or nothing when it is none we know.
std::optional<std::pair<std::string, std::size_t>> Reference(std::string_view text,
                                                             std::size_t at) {
  // The longest reference is short: a text of many '&' is never searched to its end.
  const std::size_t semicolon = text.substr(0, at + 34).find(';', at);
  if (semicolon == std::string_view::npos) return std::nullopt;
  const std::string_view name = text.substr(at + 1, semicolon - at - 1);
  std::string decoded;
  if (name.size() > 1 && name[0] == '#') {
    const bool hex = name[1] == 'x' || name[1] == 'X';
    const std::string_view digits = name.substr(hex ? 2 : 1);
    if (digits.empty() || digits.size() > 8) return std::nullopt;
    char32_t code = 0;
    for (const char c : digits) {
      const int digit = IsDigit(c)                    ? c - '0'
                        : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
                        : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                      : -1;
      if (digit < 0) return std::nullopt;
      code = code * (hex ? 16 : 10) + static_cast<char32_t>(digit);
    }
    if (code >= 0x80 && code <= 0x9F) {
      Utf8::Append(decoded, kWindows1252C1[code - 0x80]);
    } else {
      Utf8::Append(decoded, code);
    }
  } else {
    const auto& names = NamedCharacters();
    const auto found = names.find(name);
    if (found == names.end()) return std::nullopt;
    Utf8::Append(decoded, found->second);
  }
  return std::pair(std::move(decoded), semicolon - at + 1);
}

struct Tag {
  std::string name;  // lower case
  bool closing = false;
  std::string href;
  std::string alt;
  bool hidden = false;  // by its style or the hidden attribute
  std::size_t end = 0;  // just past the '>'
};

// Whether an inline style hides the element: the usual ways newsletters hide a preheader or a
// tracking picture.
bool HidesByStyle(std::string_view style) {
  std::string property, value;
  bool noHeight = false, overflowHidden = false;
  const auto zero = [](const std::string& v) {
    return v == "0" || v == "0px" || v == "0pt" || v == "0em" || v == "0%" || v == "0.0";
  };
  for (std::size_t at = 0; at <= style.size();) {
    const std::size_t end = std::min(style.find(';', at), style.size());
    const std::string_view declaration = style.substr(at, end - at);
    at = end + 1;
    const std::size_t colon = declaration.find(':');
    if (colon == std::string_view::npos) continue;
    property.clear();
    value.clear();
    for (const char c : declaration.substr(0, colon))
      if (!IsSpace(c)) property += AsciiText::Lower(c);
    for (const char c : declaration.substr(colon + 1))
      if (!IsSpace(c)) value += AsciiText::Lower(c);
    if (const std::size_t important = value.find("!important"); important != std::string::npos)
      value.erase(important);
    if ((property == "display" && value == "none") ||
        (property == "visibility" && (value == "hidden" || value == "collapse")) ||
        ((property == "opacity" || property == "font-size") && zero(value)))
      return true;
    noHeight = noHeight || ((property == "max-height" || property == "height") && zero(value));
    overflowHidden = overflowHidden || (property == "overflow" && value == "hidden");
  }
  return noHeight && overflowHidden;
}

// The tag at text[at] ('<' followed by a letter, or "</" and a letter).
Tag ReadTag(std::string_view text, std::size_t at) {
  Tag tag;
  std::size_t i = at + 1;
  if (text[i] == '/') {
    tag.closing = true;
    ++i;
  }
  const std::size_t nameStart = i;
  while (i < text.size() && !IsSpace(text[i]) && text[i] != '>' && text[i] != '/') ++i;
  tag.name = AsciiText::Lower(text.substr(nameStart, i - nameStart));
  // Attributes: a quoted value may hold '>'.
  while (i < text.size() && text[i] != '>') {
    if (IsSpace(text[i]) || text[i] == '/') {
      ++i;
      continue;
    }
    const std::size_t keyStart = i;
    while (i < text.size() && !IsSpace(text[i]) && text[i] != '>' && text[i] != '=') ++i;
    const std::string key = AsciiText::Lower(text.substr(keyStart, i - keyStart));
    while (i < text.size() && IsSpace(text[i])) ++i;
    if (key == "hidden") tag.hidden = true;
    if (i >= text.size() || text[i] != '=') continue;
    ++i;
    while (i < text.size() && IsSpace(text[i])) ++i;
    std::size_t valueStart = i, valueEnd = i;
    if (i < text.size() && (text[i] == '"' || text[i] == '\'')) {
      valueStart = i + 1;
      valueEnd = std::min(text.find(text[i], valueStart), text.size());
      i = std::min(valueEnd + 1, text.size());
    } else {
      while (i < text.size() && !IsSpace(text[i]) && text[i] != '>') ++i;
      valueEnd = i;
    }
    const std::string_view value = text.substr(valueStart, valueEnd - valueStart);
    if (key == "href") tag.href = DecodeReferences(value);
    if (key == "alt") tag.alt = DecodeReferences(value);
    if (key == "style" && HidesByStyle(DecodeReferences(value))) tag.hidden = true;
  }
  tag.end = std::min(i + 1, text.size());
  return tag;
}

// Just past the end tag of that element from `at` on, in any letter case; else the end.
std::size_t PastEndTag(std::string_view text, std::size_t at, const std::string& name) {
  for (std::size_t found = text.find("</", at); found != std::string_view::npos;
       found = text.find("</", found + 2)) {
    if (AsciiText::EqualsNoCase(text.substr(found + 2, name.size()), name)) {
      const std::size_t end = text.find('>', found);
      return end == std::string_view::npos ? text.size() : end + 1;
    }
  }
  return text.size();
}

bool OneOf(const std::string& name, std::initializer_list<std::string_view> names) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

// Elements that have no content, so hiding one hides nothing after it.
bool IsVoid(const std::string& name) {
  return OneOf(name, {"area", "base", "br", "col", "embed", "hr", "img", "input", "link", "meta",
                      "param", "source", "track", "wbr"});
}

// Start tags that end a paragraph left open, as browsers read them.
bool EndsParagraph(const std::string& name) {
  return OneOf(
      name, {"p",       "div",     "table",  "ul",     "ol",     "dl",      "pre",   "blockquote",
             "section", "article", "header", "footer", "h1",     "h2",      "h3",    "h4",
             "h5",      "h6",      "hr",     "form",   "figure", "address", "center"});
}

// Collects the text: breaks and blanks are only asked for, and written once text follows.
class Writer {
 public:
  void Text(std::string_view text) {
    if (text.empty()) return;
    Flush();
    m_out += text;
    m_lineStart = false;
  }
  void Space() {
    if (!m_lineStart) m_space = true;
  }
  // 1: start a new line; 2: leave an empty line.
  void Break(int lines) { m_breaks = std::max(m_breaks, lines); }
  void LineBreak() { m_breaks = std::min(m_breaks + 1, 2); }
  void Prefix(const std::string& prefix) {
    Break(1);
    Flush();
    m_out += prefix;
    m_lineStart = true;
  }
  std::size_t Size() const { return m_out.size(); }
  std::string Since(std::size_t at) const { return m_out.substr(std::min(at, m_out.size())); }

  std::string Finish() {
    std::string text;
    std::size_t start = 0;
    while (start <= m_out.size()) {
      const std::size_t end = std::min(m_out.find('\n', start), m_out.size());
      std::string_view line(m_out.data() + start, end - start);
      while (!line.empty() && IsSpace(line.back())) line.remove_suffix(1);
      text += line;
      if (end < m_out.size()) text += "\r\n";
      start = end + 1;
    }
    return text;
  }

 private:
  void Flush() {
    if (m_out.empty()) {
      m_breaks = 0;
      m_space = false;
    }
    if (m_breaks > 0) {
      m_out.append(static_cast<std::size_t>(m_breaks), '\n');
      m_breaks = 0;
      m_space = false;
      m_lineStart = true;
    }
    if (m_space && !m_lineStart) m_out += ' ';
    m_space = false;
  }

  std::string m_out;
  int m_breaks = 0;
  bool m_space = false;
  bool m_lineStart = true;
};

// Indentation stops growing here, so deep nesting cannot blow up the text.
constexpr std::size_t kMaxListIndent = 8;

}  // namespace

std::string DecodeReferences(std::string_view text) {
  std::string out;
  for (std::size_t at = 0; at < text.size();) {
    if (text[at] == '&') {
      if (auto reference = Reference(text, at)) {
        out += reference->first;
        at += reference->second;
        continue;
      }
    }
    out += text[at++];
  }
  return out;
}

std::string ToText(std::string_view html, Purpose purpose) {
  const bool search = purpose == Purpose::Search;
  Writer out;
  struct List {
    bool numbered;
    int count;
  };
  std::vector<List> lists;
  std::optional<std::pair<std::string, std::size_t>> link;  // address and where its text began
  int pre = 0;
  // The element whose content is hidden (searching only), and how deep its own kind nests in it.
  std::string hidden;
  int hiddenDepth = 0;

  const auto endLink = [&] {
    if (!link) return;
    std::string text = out.Since(link->second);
    text.erase(0, text.find_first_not_of(" \n"));
    const std::string& address = link->first;
    const bool inPage = address.empty() || address[0] == '#';
    const bool script = AsciiText::Lower(address).rfind("javascript:", 0) == 0;
    if (!inPage && !script && text != address && "mailto:" + text != address) {
      out.Space();
      out.Text("<" + address + ">");
    }
    link.reset();
  };

  std::size_t at = 0;
  while (at < html.size()) {
    const char c = html[at];
    if (c == '<' && html.substr(at, 4) == "<!--") {
      const std::size_t end = html.find("-->", at + 4);
      at = end == std::string_view::npos ? html.size() : end + 3;
      continue;
    }
    if (c == '<' && at + 1 < html.size() && (html[at + 1] == '!' || html[at + 1] == '?')) {
      const std::size_t end = html.find('>', at);
      at = end == std::string_view::npos ? html.size() : end + 1;
      continue;
    }
    const bool tagStart = c == '<' && at + 1 < html.size() &&
                          (IsAlpha(html[at + 1]) ||
                           (html[at + 1] == '/' && at + 2 < html.size() && IsAlpha(html[at + 2])));
    if (!tagStart && hiddenDepth > 0) {
      ++at;
      continue;
    }
    if (!tagStart) {
      if (c == '&') {
        if (auto reference = Reference(html, at)) {
          // A no-break space keeps its place but reads as a plain blank.
          out.Text(reference->first == "\u00a0" ? " " : reference->first);
          at += reference->second;
          continue;
        }
      }
      if (pre > 0 && c == '\n') {
        out.LineBreak();
      } else if (pre > 0 && c != '\r') {
        out.Text(std::string_view(&html[at], 1));
      } else if (IsSpace(c)) {
        out.Space();
      } else {
        out.Text(std::string_view(&html[at], 1));
      }
      ++at;
      continue;
    }

    const Tag tag = ReadTag(html, at);
    at = tag.end;
    const std::string& name = tag.name;
    if (!tag.closing && OneOf(name, {"script", "style", "head", "title", "template"})) {
      // Their content is no text of the page, whatever it holds.
      at = PastEndTag(html, at, name);
      continue;
    }
    if (hiddenDepth > 0) {
      if (name == hidden) hiddenDepth += tag.closing ? -1 : 1;
      if (hidden == "p" && !tag.closing && EndsParagraph(name)) hiddenDepth = 0;
      if (hiddenDepth > 0) continue;
      if (tag.closing) continue;
    }
    if (search && tag.hidden && !tag.closing) {
      if (!IsVoid(name) && html.substr(tag.end - 2, 2) != "/>") {
        hidden = name;
        hiddenDepth = 1;
      }
      continue;
    }
    if (name == "br") {
      out.LineBreak();
    } else if (name == "img" && search && !tag.alt.empty()) {
      out.Space();
      out.Text(tag.alt);
      out.Space();
    } else if (name == "a") {
      if (search) continue;
      endLink();
      if (!tag.closing) link.emplace(tag.href, out.Size());
    } else if (name == "li" && !tag.closing) {
      std::string prefix(2 * std::min(lists.empty() ? 0 : lists.size() - 1, kMaxListIndent), ' ');
      if (!lists.empty() && lists.back().numbered) {
        prefix += std::to_string(++lists.back().count) + ". ";
      } else {
        prefix += "- ";
      }
      out.Prefix(prefix);
    } else if (name == "ul" || name == "ol") {
      if (tag.closing) {
        if (!lists.empty()) lists.pop_back();
      } else {
        lists.push_back({name == "ol", 0});
      }
      out.Break(lists.empty() ? 2 : 1);
    } else if (name == "pre") {
      pre = tag.closing ? std::max(pre - 1, 0) : pre + 1;
      out.Break(2);
    } else if (name == "td" || name == "th") {
      out.Space();
    } else if (OneOf(name, {"p", "h1", "h2", "h3", "h4", "h5", "h6", "blockquote", "table", "dl",
                            "hr", "address", "figure", "form"})) {
      out.Break(2);
    } else if (OneOf(name, {"div", "tr", "li", "dt", "dd", "section", "article", "header", "footer",
                            "nav", "aside", "main", "center", "figcaption", "caption"})) {
      out.Break(1);
    }
  }
  endLink();
  return out.Finish();
}

}  // namespace HtmlText
