#include "core/XmlDocument.h"

#include "core/AsciiText.h"
#include "core/AtomicFile.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

// Declaration, comments, processing instructions and the doctype are kept so that a save writes
// them back; CDATA, character and predefined entity references are parsed; whitespace-only text
// is dropped. Text beside the document element is kept (fragment mode) only so that the load can
// refuse it. pugixml never expands DTD entities nor loads anything external.
constexpr unsigned kParseOptions = pugi::parse_default | pugi::parse_declaration |
                                   pugi::parse_comments | pugi::parse_pi | pugi::parse_doctype |
                                   pugi::parse_fragment;

// Indentation costs depth times its width per node, which turns quadratic on a deeply nested
// document; past this depth the save puts one node per line without indentation.
constexpr std::size_t kMaxIndentedDepth = 64;

constexpr const char* kXmlWhitespace = " \t\r\n";

bool IsBlankText(const pugi::xml_node& node) {
  if (node.type() != pugi::node_pcdata) return false;
  const char* value = node.value();
  return value[std::strspn(value, kXmlWhitespace)] == '\0';
}

pugi::xml_node SkipBlankText(pugi::xml_node node) {
  while (node && IsBlankText(node)) node = node.next_sibling();
  return node;
}

// The node after `node` in document order within the subtree of `root`, without recursion.
pugi::xml_node NextInSubtree(pugi::xml_node node, const pugi::xml_node& root) {
  if (node.first_child()) return node.first_child();
  while (node != root) {
    if (node.next_sibling()) return node.next_sibling();
    node = node.parent();
  }
  return {};
}

pugi::xml_node FindElement(const pugi::xml_node& root, std::string_view name,
                           const std::string_view* parentName) {
  if (!root) return {};
  for (pugi::xml_node node = NextInSubtree(root, root); node; node = NextInSubtree(node, root)) {
    if (node.type() != pugi::node_element || name != node.name()) continue;
    if (!parentName) return node;
    const pugi::xml_node parent = node.parent();
    if (parent.type() == pugi::node_element && *parentName == parent.name()) return node;
  }
  return {};
}

// pugixml frees a removed subtree recursively; taking it apart leaf by leaf first keeps a deeply
// nested subtree from exhausting the stack.
void RemoveSubtree(pugi::xml_node parent, const pugi::xml_node& child) {
  pugi::xml_node node = child;
  for (;;) {
    while (node.first_child()) node = node.first_child();
    if (node == child) break;
    pugi::xml_node up = node.parent();
    up.remove_child(node);
    node = up;
  }
  parent.remove_child(child);
}

void RemoveAllChildren(pugi::xml_node node) {
  while (pugi::xml_node child = node.first_child()) RemoveSubtree(node, child);
}

std::size_t MaxDepth(const pugi::xml_node& root) {
  std::size_t depth = 0, maxDepth = 0;
  pugi::xml_node node = root;
  for (;;) {
    if (node.first_child()) {
      node = node.first_child();
      maxDepth = std::max(maxDepth, ++depth);
      continue;
    }
    while (node != root && !node.next_sibling()) {
      node = node.parent();
      --depth;
    }
    if (node == root) return maxDepth;
    node = node.next_sibling();
  }
}

// pugixml accepts further elements, and in fragment mode text, beside the document element; a
// truncated, joined or plain-text file must not pass for a document.
bool HasOneDocumentElement(const pugi::xml_document& document) {
  int elements = 0;
  for (pugi::xml_node node = document.first_child(); node; node = node.next_sibling()) {
    if (node.type() == pugi::node_element) ++elements;
    if (node.type() == pugi::node_cdata || (node.type() == pugi::node_pcdata && !IsBlankText(node)))
      return false;
  }
  return elements == 1;
}

// A document that fails either check is emptied, so nothing half-parsed is ever used.
bool Accept(const pugi::xml_parse_result& result, pugi::xml_document& document,
            std::string& error) {
  if (!result) {
    error = std::string(result.description()) + " at offset " + std::to_string(result.offset);
  } else if (!HasOneDocumentElement(document)) {
    error = "Not exactly one document element";
  } else {
    error.clear();
    return true;
  }
  document.reset();
  return false;
}

class StringWriter : public pugi::xml_writer {
 public:
  void write(const void* data, std::size_t size) override {
    text.append(static_cast<const char*>(data), size);
  }
  std::string text;
};

}  // namespace

XmlNodeKind XmlNode::Kind() const {
  switch (pugi::xml_node(m_node).type()) {
    case pugi::node_document:
      return XmlNodeKind::Document;
    case pugi::node_element:
      return XmlNodeKind::Element;
    case pugi::node_pcdata:
      return XmlNodeKind::Text;
    case pugi::node_cdata:
      return XmlNodeKind::CData;
    case pugi::node_comment:
      return XmlNodeKind::Comment;
    case pugi::node_pi:
      return XmlNodeKind::ProcessingInstruction;
    case pugi::node_declaration:
      return XmlNodeKind::Declaration;
    case pugi::node_doctype:
      return XmlNodeKind::Doctype;
    case pugi::node_null:
      break;
  }
  return XmlNodeKind::Null;
}

std::string XmlNode::Name() const {
  if (!IsElement()) return {};
  return pugi::xml_node(m_node).name();
}

std::vector<XmlNode> XmlNode::ChildNodes() const {
  std::vector<XmlNode> children;
  for (pugi::xml_node child = pugi::xml_node(m_node).first_child(); child;
       child = child.next_sibling()) {
    if (!IsBlankText(child)) children.push_back(XmlNode(child.internal_object()));
  }
  return children;
}

XmlNode XmlNode::FirstChild() const {
  return XmlNode(SkipBlankText(pugi::xml_node(m_node).first_child()).internal_object());
}

XmlNode XmlNode::NextSibling() const {
  return XmlNode(SkipBlankText(pugi::xml_node(m_node).next_sibling()).internal_object());
}

XmlNode XmlNode::FindFirstElement(std::string_view name) const {
  return XmlNode(FindElement(pugi::xml_node(m_node), name, nullptr).internal_object());
}

XmlNode XmlNode::FindFirstElement(std::string_view name, std::string_view parentName) const {
  return XmlNode(FindElement(pugi::xml_node(m_node), name, &parentName).internal_object());
}

std::vector<XmlAttribute> XmlNode::Attributes() const {
  std::vector<XmlAttribute> attributes;
  for (const pugi::xml_attribute& attribute : pugi::xml_node(m_node).attributes()) {
    attributes.push_back({attribute.name(), attribute.value()});
  }
  return attributes;
}

std::string XmlNode::Text() const {
  const pugi::xml_node root(m_node);
  std::string text;
  const auto isText = [](const pugi::xml_node& node) {
    return node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata;
  };
  if (isText(root)) {
    text = root.value();
  } else {
    for (pugi::xml_node node = NextInSubtree(root, root); node; node = NextInSubtree(node, root)) {
      if (isText(node)) text += node.value();
    }
  }
  return std::string(AsciiText::Trim(text, AsciiText::kWhitespace));
}

void XmlNode::SetText(const std::string& text) {
  pugi::xml_node node(m_node);
  switch (node.type()) {
    case pugi::node_element:
      RemoveAllChildren(node);
      if (!text.empty()) node.append_child(pugi::node_pcdata).set_value(text.c_str());
      break;
    case pugi::node_pcdata:
    case pugi::node_cdata:
    case pugi::node_comment:
      node.set_value(text.c_str());
      break;
    default:
      break;
  }
}

void XmlNode::SetAttribute(const std::string& name, const std::string& value) {
  pugi::xml_node node(m_node);
  if (node.type() != pugi::node_element) return;
  pugi::xml_attribute attribute = node.attribute(name.c_str());
  if (!attribute) attribute = node.append_attribute(name.c_str());
  attribute.set_value(value.c_str());
}

XmlNode XmlNode::AppendElement(const std::string& name) {
  return XmlNode(pugi::xml_node(m_node).append_child(name.c_str()).internal_object());
}

bool XmlNode::RemoveChild(const XmlNode& child) {
  const pugi::xml_node node(m_node);
  const pugi::xml_node target(child.m_node);
  if (!node || !target || target.parent() != node) return false;
  RemoveSubtree(node, target);
  return true;
}

XmlDocument::XmlDocument() : m_document(std::make_unique<pugi::xml_document>()) {}
XmlDocument::~XmlDocument() = default;
XmlDocument::XmlDocument(XmlDocument&&) noexcept = default;
XmlDocument& XmlDocument::operator=(XmlDocument&&) noexcept = default;

bool XmlDocument::LoadFile(const std::string& path) {
  if (!m_document) m_document = std::make_unique<pugi::xml_document>();
  // Read here rather than by pugixml, which takes a folder's nonsense size for a file's.
  std::error_code ec;
  std::ifstream in;
  if (std::filesystem::is_regular_file(path, ec)) in.open(path, std::ios::binary);
  std::ostringstream content;
  if (!in || !(content << in.rdbuf())) {
    m_document->reset();
    m_loadError = "Cannot read " + path;
    return false;
  }
  return LoadText(std::move(content).str());
}

bool XmlDocument::LoadText(std::string_view text) {
  if (!m_document) m_document = std::make_unique<pugi::xml_document>();
  return Accept(
      m_document->load_buffer(text.data(), text.size(), kParseOptions, pugi::encoding_auto),
      *m_document, m_loadError);
}

XmlNode XmlDocument::DocumentNode() const {
  if (!m_document) return {};
  return XmlNode(m_document->internal_object());
}

XmlNode XmlDocument::FindFirstElement(std::string_view name) const {
  return DocumentNode().FindFirstElement(name);
}

XmlNode XmlDocument::FindFirstElement(std::string_view name, std::string_view parentName) const {
  return DocumentNode().FindFirstElement(name, parentName);
}

std::string XmlDocument::ToText() {
  if (!m_document) m_document = std::make_unique<pugi::xml_document>();
  for (pugi::xml_node node = m_document->first_child(); node; node = node.next_sibling()) {
    if (node.type() != pugi::node_declaration) continue;
    pugi::xml_attribute encoding = node.attribute("encoding");
    if (encoding && !AsciiText::EqualsNoCase(encoding.value(), "UTF-8"))
      encoding.set_value("UTF-8");
    break;
  }
  const char* indent = MaxDepth(*m_document) <= kMaxIndentedDepth ? "  " : "";
  StringWriter writer;
  m_document->save(writer, indent, pugi::format_indent, pugi::encoding_utf8);
  return std::move(writer.text);
}

bool XmlDocument::Save(const std::string& path, std::error_code& ec) {
  return AtomicFile::Replace(path, ToText(), ec);
}
