#ifndef KINDORA_PLATFORM_DESKTOP_XML_SCAN_H
#define KINDORA_PLATFORM_DESKTOP_XML_SCAN_H

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

// A small XML reader for the desktops' own files: tags and character data in
// document order, with the five named entities and character references
// decoded. Comments, processing instructions and document types are passed
// over; nothing external is ever read.
struct XmlItem {
    enum Kind { kOpen, kClose, kEmpty, kText } kind = kText;
    std::string name;  // element name (kOpen, kClose, kEmpty)
    std::vector<std::pair<std::string, std::string>> attributes;
    std::string text;  // kText: the decoded characters
};

enum class XmlStep { kItem, kEnd, kBroken };

// Reads the item at *pos and moves past it.
XmlStep NextXmlItem(const std::string& text, size_t* pos, XmlItem* item);

// The value of attribute `name`, or null.
const std::string* XmlAttribute(const XmlItem& item, const char* name);

#endif
