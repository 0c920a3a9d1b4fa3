#include "presentation/NewsletterFit.h"

#include "core/AsciiText.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <optional>
#include <vector>

namespace NewsletterFit {

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

// One declaration of an inline style or a style rule, as written.
struct Declaration {
  std::string property;  // lower case
  std::string value;     // lower case, without "!important"
  std::string_view text;
};

// Splits at semicolons outside quotes and parentheses: url(data:image/png;base64,...) is one
// value.
std::vector<Declaration> Declarations(std::string_view css) {
  std::vector<Declaration> out;
  std::size_t start = 0;
  int depth = 0;
  char quote = 0;
  for (std::size_t at = 0; at <= css.size(); ++at) {
    const char c = at < css.size() ? css[at] : ';';
    if (quote) {
      if (c == quote) quote = 0;
      continue;
    }
    if (c == '"' || c == '\'') quote = c;
    if (c == '(') ++depth;
    if (c == ')' && depth > 0) --depth;
    if (c != ';' || (depth > 0 && at < css.size())) continue;
    const std::string_view text = css.substr(start, at - start);
    start = at + 1;
    const std::size_t colon = text.find(':');
    if (AsciiText::IsBlank(text, " \t\r\n\f")) continue;
    Declaration d{.property = {}, .value = {}, .text = text};
    if (colon != std::string_view::npos) {
      d.property = AsciiText::Lower(AsciiText::Trim(text.substr(0, colon), " \t\r\n\f"));
      std::string value = AsciiText::Lower(AsciiText::Trim(text.substr(colon + 1), " \t\r\n\f"));
      if (const std::size_t bang = value.find('!'); bang != std::string::npos) value.resize(bang);
      d.value = std::string(AsciiText::Trim(value, " \t\r\n\f"));
    }
    out.push_back(std::move(d));
  }
  return out;
}

// A length in pixels: "600", "600px", "600.5px"; nothing for percentages, other units, words or
// lengths no layout means (negative, infinite, over a million).
std::optional<double> Pixels(std::string_view text) {
  text = AsciiText::Trim(text, " \t\r\n\f");
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || !(value >= 0 && value <= 1e6)) return std::nullopt;
  const std::string unit = AsciiText::Lower(std::string_view(end, text.data() + text.size() - end));
  if (unit.empty() || unit == "px") return value;
  return std::nullopt;
}

std::string Number(double value) {
  char buffer[32];
  const auto [end, error] =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed,
                    value == std::floor(value) ? 0 : 2);
  return error == std::errc() ? std::string(buffer, end) : "0";
}

// A start tag's attribute, as written.
struct Attribute {
  std::string name;  // lower case
  std::string value;
  std::string_view text;  // the blanks before it included
};

struct StartTag {
  std::string name;  // lower case
  std::vector<Attribute> attributes;
  std::string_view end;  // "/>" or ">", with any blanks before it

  const Attribute* Find(std::string_view wanted) const {
    for (const Attribute& a : attributes)
      if (a.name == wanted) return &a;
    return nullptr;
  }
};

// Reads the start tag that begins at html[at] ('<' and a letter); at moves past it. False when
// it never ends: the rest is then left as text.
bool ReadStartTag(std::string_view html, std::size_t& at, StartTag& tag) {
  std::size_t i = at + 1;
  while (i < html.size() && !IsSpace(html[i]) && html[i] != '/' && html[i] != '>') ++i;
  tag.name = AsciiText::Lower(html.substr(at + 1, i - at - 1));
  while (true) {
    const std::size_t before = i;
    while (i < html.size() && (IsSpace(html[i]) || html[i] == '/')) ++i;
    if (i >= html.size()) return false;
    if (html[i] == '>') {
      tag.end = html.substr(before, i + 1 - before);
      at = i + 1;
      return true;
    }
    Attribute attribute;
    const std::size_t nameStart = i;
    while (i < html.size() && !IsSpace(html[i]) && html[i] != '/' && html[i] != '>' &&
           (html[i] != '=' || i == nameStart))
      ++i;
    attribute.name = AsciiText::Lower(html.substr(nameStart, i - nameStart));
    std::size_t j = i;
    while (j < html.size() && IsSpace(html[j])) ++j;
    if (j < html.size() && html[j] == '=') {
      ++j;
      while (j < html.size() && IsSpace(html[j])) ++j;
      if (j < html.size() && (html[j] == '"' || html[j] == '\'')) {
        const std::size_t close = html.find(html[j], j + 1);
        if (close == std::string_view::npos) return false;
        attribute.value = std::string(html.substr(j + 1, close - j - 1));
        i = close + 1;
      } else {
        const std::size_t valueStart = j;
        while (j < html.size() && !IsSpace(html[j]) && html[j] != '>') ++j;
        attribute.value = std::string(html.substr(valueStart, j - valueStart));
        i = j;
      }
    }
    attribute.text = html.substr(before, i - before);
    tag.attributes.push_back(std::move(attribute));
  }
}

// The fixed pixel width a tag declares: its inline style's, else its width attribute's.
std::optional<double> FixedWidth(const StartTag* tag, const std::vector<Declaration>& style) {
  std::optional<double> width;
  bool styled = false;
  for (const Declaration& d : style) {
    if (d.property != "width") continue;
    styled = true;
    width = Pixels(d.value);
  }
  if (styled || !tag) return width;
  const Attribute* attribute = tag->Find("width");
  return attribute ? Pixels(attribute->value) : std::nullopt;
}

bool Has(const std::vector<Declaration>& style, std::string_view property) {
  for (const Declaration& d : style)
    if (d.property == property) return true;
  return false;
}

// The pixels of padding and border beside an element's content, left and right, as far as its
// style gives them in pixels.
double HorizontalFrame(const std::vector<Declaration>& style) {
  // The horizontal values of a one- to four-value shorthand: right and left.
  const auto sides = [](std::string_view value, bool firstPixelsOnly) {
    std::vector<double> pixels;
    std::size_t at = 0;
    while (at < value.size()) {
      const std::size_t end = std::min(value.find(' ', at), value.size());
      if (const auto p = Pixels(value.substr(at, end - at))) {
        pixels.push_back(*p);
      } else if (!firstPixelsOnly && end > at) {
        pixels.push_back(0);
      }
      at = end + 1;
    }
    if (pixels.empty()) return 0.0;
    if (firstPixelsOnly || pixels.size() == 1) return 2 * pixels[0];
    return pixels.size() < 4 ? 2 * pixels[1] : pixels[1] + pixels[3];
  };
  double frame = 0;
  for (const Declaration& d : style) {
    if (d.property == "padding" || d.property == "border-width") frame += sides(d.value, false);
    if (d.property == "border") frame += sides(d.value, true);  // "1px solid #ccc"
    if (d.property == "padding-left" || d.property == "padding-right" ||
        d.property == "border-left-width" || d.property == "border-right-width")
      frame += Pixels(d.value).value_or(0);
    if (d.property == "border-left" || d.property == "border-right")
      frame += sides(d.value, true) / 2;
  }
  return frame;
}

bool IsPixelMinWidth(const Declaration& d) { return d.property == "min-width" && Pixels(d.value); }

// A fixed width W that may shrink: the lesser of the column and W with the padding and border
// beside it. A fixed width inside a table cell holds the whole table at least that wide, however
// narrow the column (a picture not shown as well: its box is then no picture); this does not.
// Narrower widths stay as they are: four of them side by side still fit the narrowest column,
// and a small box alone in a cell that takes its width from its content would shrink to nothing.
constexpr double kShrinkAbove = 100;

std::string ShrinkableWidth(double width, const std::vector<Declaration>& style) {
  return "width:min(100%," + Number(width + HorizontalFrame(style)) + "px);box-sizing:border-box";
}

// The declarations without pixel minimum widths (and without widths when asked), then added.
std::string Rebuilt(const std::vector<Declaration>& style, bool dropWidth,
                    const std::string& added) {
  std::string css;
  for (const Declaration& d : style) {
    if (IsPixelMinWidth(d) || (dropWidth && d.property == "width")) continue;
    css.append(AsciiText::Trim(d.text, " \t\r\n\f")).append(";");
  }
  css += added;
  if (!css.empty() && css.back() == ';') css.pop_back();
  return css;
}

bool IsTrackingPicture(const StartTag& tag, const std::vector<Declaration>& style) {
  const auto tiny = [](std::optional<double> pixels) { return pixels && *pixels <= 2; };
  for (const char* dimension : {"width", "height"})
    if (const Attribute* a = tag.Find(dimension); a && tiny(Pixels(a->value))) return true;
  for (const Declaration& d : style) {
    if ((d.property == "width" || d.property == "height" || d.property == "max-width" ||
         d.property == "max-height") &&
        tiny(Pixels(d.value)))
      return true;
    if ((d.property == "display" && d.value == "none") ||
        (d.property == "visibility" && d.value == "hidden"))
      return true;
    if (d.property == "opacity") {
      double opacity = 1;
      const auto [end, error] =
          std::from_chars(d.value.data(), d.value.data() + d.value.size(), opacity);
      if (error == std::errc() && end == d.value.data() + d.value.size() && opacity <= 0)
        return true;
    }
  }
  return false;
}

class Fitter {
 public:
  explicit Fitter(std::string_view html) : m_html(html) { m_out.reserve(html.size() + 256); }

  std::string Run() {
    std::size_t at = 0;
    while (at < m_html.size()) {
      const std::size_t open = m_html.find('<', at);
      if (open == std::string_view::npos) break;
      m_out.append(m_html.substr(at, open - at));
      at = open;
      const std::string_view rest = m_html.substr(at);
      if (rest.starts_with("<!--")) {
        const std::size_t close = m_html.find("-->", at + 4);
        at = close == std::string_view::npos ? m_html.size() : close + 3;
        m_out.append(m_html.substr(open, at - open));
      } else if (rest.size() > 1 && (rest[1] == '!' || rest[1] == '?' || rest[1] == '/')) {
        const std::size_t close = m_html.find('>', at);
        at = close == std::string_view::npos ? m_html.size() : close + 1;
        const std::string_view tag = m_html.substr(open, at - open);
        if (rest[1] == '/' && AsciiText::Lower(tag.substr(0, 7)) == "</table" && !m_tables.empty())
          m_tables.pop_back();
        m_out.append(tag);
      } else if (rest.size() > 1 && std::isalpha(static_cast<unsigned char>(rest[1]))) {
        StartTag tag;
        if (!ReadStartTag(m_html, at, tag)) {
          m_out.append(rest);
          return m_out;
        }
        Rewrite(tag, m_html.substr(open, at - open));
        if (tag.name == "style" || tag.name == "script" || tag.name == "textarea" ||
            tag.name == "title" || tag.name == "xmp")
          at = RawText(tag.name, at);
      } else {
        m_out += '<';
        ++at;
      }
    }
    if (at < m_html.size()) m_out.append(m_html.substr(at));
    return m_out;
  }

 private:
  // The text of a raw-text element up to its end tag, which the main loop then reads. Rules of
  // a style element get shrinkable widths and lose pixel minimum widths, as inline styles do;
  // rules inside others (@media) stay as written, as does everything else.
  std::size_t RawText(const std::string& name, std::size_t at) {
    const std::string lower = AsciiText::Lower(m_html.substr(at));
    std::size_t end = lower.find("</" + name);
    end = end == std::string::npos ? m_html.size() : at + end;
    const std::string_view text = m_html.substr(at, end - at);
    if (name != "style") {
      m_out.append(text);
      return end;
    }
    std::size_t from = 0;
    for (std::size_t brace = text.find('{'); brace != std::string_view::npos;
         brace = text.find('{', from)) {
      const std::size_t close = text.find('}', brace);
      if (close == std::string_view::npos) break;
      m_out.append(text.substr(from, brace + 1 - from));
      const std::string_view block = text.substr(brace + 1, close - brace - 1);
      const std::vector<Declaration> rules = Declarations(block);
      const std::optional<double> width = FixedWidth(nullptr, rules);
      bool minWidth = false;
      for (const Declaration& d : rules) minWidth = minWidth || IsPixelMinWidth(d);
      const bool shrink = width && *width > kShrinkAbove;
      if (block.find('{') != std::string_view::npos || (!shrink && !minWidth)) {
        m_out.append(block);
      } else {
        m_out.append(Rebuilt(rules, shrink, shrink ? ShrinkableWidth(*width, rules) : ""));
      }
      from = close;
    }
    m_out.append(text.substr(from));
    return end;
  }

  void Rewrite(const StartTag& tag, std::string_view original) {
    const Attribute* styleAttribute = tag.Find("style");
    const std::vector<Declaration> style =
        styleAttribute ? Declarations(styleAttribute->value) : std::vector<Declaration>{};
    if (tag.name == "img" && IsTrackingPicture(tag, style)) return;
    const std::optional<double> width = FixedWidth(&tag, style);
    const double tableWidth = m_tables.empty() ? 0 : m_tables.back();
    if (tag.name == "table") m_tables.push_back(width.value_or(0));

    // What changes: the width attribute, the width declarations, and what is added after the
    // style's own declarations; pixel minimum widths always go.
    bool dropAttribute = false, dropWidth = false, minWidth = false;
    std::string added;
    for (const Declaration& d : style) minWidth = minWidth || IsPixelMinWidth(d);
    if (tag.name == "table" && width && *width > 0) {
      dropAttribute = dropWidth = true;
      added = "width:100%";
      if (!Has(style, "max-width")) added += ";max-width:" + Number(*width) + "px";
    } else if ((tag.name == "td" || tag.name == "th" || tag.name == "col") && width) {
      dropAttribute = dropWidth = true;
      if (tableWidth > 0 && *width > 0)
        added =
            "width:" + Number(std::min(100.0, std::round(*width * 10000 / tableWidth) / 100)) + "%";
    } else if (width && *width > kShrinkAbove && (Has(style, "width") || tag.name == "hr")) {
      dropAttribute = tag.name == "hr";
      dropWidth = true;
      added = ShrinkableWidth(*width, style);
    }
    if (!dropAttribute && !minWidth && added.empty()) {
      m_out.append(original);
      return;
    }

    std::string css = Rebuilt(style, dropWidth, added);
    m_out += '<';
    m_out += tag.name;
    for (const Attribute& a : tag.attributes) {
      if (a.name == "style" || (dropAttribute && a.name == "width")) continue;
      m_out.append(a.text);
    }
    // The style's text is kept as written, entities included, in quotes it cannot end.
    if (!css.empty()) {
      const char quote = css.find('"') == std::string::npos ? '"' : '\'';
      if (quote == '\'') AsciiText::ReplaceAll(css, "'", "&#39;");
      m_out += std::string(" style=") + quote + css + quote;
    }
    m_out.append(tag.end);
  }

  std::string_view m_html;
  std::string m_out;
  // The fixed widths of the tables open around the current tag (0: not fixed).
  std::vector<double> m_tables;
};

}  // namespace

std::string Fit(std::string_view html) { return Fitter(html).Run(); }

}  // namespace NewsletterFit
