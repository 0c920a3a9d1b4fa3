#pragma once
// The XML document service: load a file or a text, find the first element of a name, walk child
// nodes, read and change names, attributes and text, save. A thin layer over pugixml that keeps
// pugixml out of its callers' headers.
//
// Nothing in a document is ever expanded or fetched: DTD entities stay unexpanded ("&name;" reads
// as that literal text) and external DTDs or entities are never loaded. Every walk is iterative,
// so a hostile document nested 100,000 deep loads, walks and saves without exhausting the stack.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace pugi {
class xml_document;
struct xml_node_struct;
}  // namespace pugi

struct XmlAttribute {
  std::string name;
  std::string value;
  bool operator==(const XmlAttribute&) const = default;
};

enum class XmlNodeKind {
  Null,
  Document,
  Element,
  Text,
  CData,
  Comment,
  ProcessingInstruction,
  Declaration,
  Doctype,
};

// A node of an XmlDocument, or no node. A handle: copies refer to the same node, and it is valid
// only while its document lives and the node has not been removed.
class XmlNode {
 public:
  XmlNode() = default;

  bool IsNull() const { return m_node == nullptr; }
  explicit operator bool() const { return m_node != nullptr; }
  bool operator==(const XmlNode&) const = default;

  XmlNodeKind Kind() const;
  bool IsElement() const { return Kind() == XmlNodeKind::Element; }
  // The element's name, compared exactly by callers; empty for text, CDATA and comments.
  std::string Name() const;

  // Children in document order. Whitespace-only text between elements is not a child.
  std::vector<XmlNode> ChildNodes() const;
  XmlNode FirstChild() const;
  XmlNode NextSibling() const;

  // The first element named `name` among this node's descendants, in document order.
  XmlNode FindFirstElement(std::string_view name) const;
  // The same, for an element whose parent is an element named `parentName`.
  XmlNode FindFirstElement(std::string_view name, std::string_view parentName) const;

  // Attributes in document order, indexed from 0.
  std::vector<XmlAttribute> Attributes() const;

  // All descendant text, CDATA included, concatenated in document order; then leading and
  // trailing XML white space (space, tab, CR, LF) is trimmed. Always this one rule, because a
  // message's guid text is its identity. Inner white space is kept as it stands.
  std::string Text() const;

  // Replaces the element's content by one text (an empty text leaves it empty). On a text, CDATA
  // or comment node, replaces its value.
  void SetText(const std::string& text);
  // Replaces the value of the first attribute of that name in place, or appends the attribute
  // after the existing ones.
  void SetAttribute(const std::string& name, const std::string& value);
  // Creates an element and appends it as the last child; no node when this node cannot hold one.
  XmlNode AppendElement(const std::string& name);
  // Removes a child with everything below it; false when it is not a child of this node.
  bool RemoveChild(const XmlNode& child);

 private:
  friend class XmlDocument;
  explicit XmlNode(pugi::xml_node_struct* node) : m_node(node) {}
  pugi::xml_node_struct* m_node = nullptr;
};

// One parsed document. A fresh one per operation; nodes taken from it die with it.
class XmlDocument {
 public:
  XmlDocument();
  ~XmlDocument();
  XmlDocument(XmlDocument&&) noexcept;
  XmlDocument& operator=(XmlDocument&&) noexcept;
  XmlDocument(const XmlDocument&) = delete;
  XmlDocument& operator=(const XmlDocument&) = delete;

  // Parse the whole file or text; true when it is well-formed: one document element, nothing but
  // markup and white space beside it, every tag closed. Duplicate attribute names and unknown
  // entity references are let through (the latter read as written). A failed load leaves the
  // document empty. The declaration, comments, processing instructions and the doctype are kept.
  bool LoadFile(const std::string& path);
  bool LoadText(std::string_view text);
  // Why the last load failed, for diagnostics; empty after a good load.
  const std::string& LoadError() const { return m_loadError; }

  // The document node, parent of the declaration, comments and root element.
  XmlNode DocumentNode() const;
  XmlNode FindFirstElement(std::string_view name) const;
  XmlNode FindFirstElement(std::string_view name, std::string_view parentName) const;

  // The whole document as UTF-8 text with its declaration and comments. A declaration that
  // names another encoding is changed to name UTF-8, the encoding actually written.
  std::string ToText();
  // Writes ToText() to the file through an atomic replace; false with ec set on failure.
  bool Save(const std::string& path, std::error_code& ec);

 private:
  std::unique_ptr<pugi::xml_document> m_document;
  std::string m_loadError;
};
