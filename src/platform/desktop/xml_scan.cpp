#include "xml_scan.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool IsNameChar(char c) {
    return !IsSpace(c) && c != '/' && c != '>' && c != '=' && c != '<' && c != '"' && c != '\'';
}

void AppendUtf8(unsigned long code, std::string* out) {
    if (code < 0x80) {
        out->push_back(char(code));
    } else if (code < 0x800) {
        out->push_back(char(0xC0 | (code >> 6)));
        out->push_back(char(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out->push_back(char(0xE0 | (code >> 12)));
        out->push_back(char(0x80 | ((code >> 6) & 0x3F)));
        out->push_back(char(0x80 | (code & 0x3F)));
    } else {
        out->push_back(char(0xF0 | (code >> 18)));
        out->push_back(char(0x80 | ((code >> 12) & 0x3F)));
        out->push_back(char(0x80 | ((code >> 6) & 0x3F)));
        out->push_back(char(0x80 | (code & 0x3F)));
    }
}

// One reference after '&' (at `at`); appends what it stands for and returns
// the length read, or 0 when it is none (the '&' is then kept as it is).
size_t DecodeReference(const std::string& text, size_t at, size_t end, std::string* out) {
    static const struct {
        const char* name;
        char c;
    } kNamed[] = {{"lt;", '<'}, {"gt;", '>'}, {"amp;", '&'}, {"quot;", '"'}, {"apos;", '\''}};
    for (const auto& named : kNamed) {
        const size_t n = strlen(named.name);
        if (end - at >= n && text.compare(at, n, named.name) == 0) {
            out->push_back(named.c);
            return n;
        }
    }
    const size_t semi = text.find(';', at);
    if (at >= end || text[at] != '#' || semi == std::string::npos || semi >= end || semi - at > 9) {
        return 0;
    }
    const bool hex = semi > at + 1 && (text[at + 1] == 'x' || text[at + 1] == 'X');
    const std::string digits = text.substr(at + (hex ? 2 : 1), semi - at - (hex ? 2 : 1));
    char* stop = nullptr;
    const unsigned long code = digits.empty() ? 0 : strtoul(digits.c_str(), &stop, hex ? 16 : 10);
    if (digits.empty() || *stop != '\0' || code == 0 || code > 0x10FFFF) return 0;
    AppendUtf8(code, out);
    return semi - at + 1;
}

std::string Decode(const std::string& text, size_t from, size_t end) {
    std::string out;
    out.reserve(end - from);
    for (size_t at = from; at < end; ++at) {
        const size_t used = text[at] == '&' ? DecodeReference(text, at + 1, end, &out) : 0;
        if (used) {
            at += used;
        } else {
            out.push_back(text[at]);
        }
    }
    return out;
}

// Passes over `<!--...-->`, `<?...?>`, `<!...>`; false when one is unclosed.
bool SkipMarkup(const std::string& text, size_t* pos, bool* skipped) {
    static const struct {
        const char* open;
        const char* close;
    } kMarkup[] = {{"<!--", "-->"}, {"<?", "?>"}, {"<!", ">"}};
    *skipped = false;
    for (const auto& m : kMarkup) {
        if (text.compare(*pos, strlen(m.open), m.open) != 0) continue;
        const size_t close = text.find(m.close, *pos + strlen(m.open));
        if (close == std::string::npos) return false;
        *pos = close + strlen(m.close);
        *skipped = true;
        return true;
    }
    return true;
}

size_t SkipSpace(const std::string& text, size_t at) {
    while (at < text.size() && IsSpace(text[at]))
        ++at;
    return at;
}

bool ReadAttributes(const std::string& text, size_t* pos, XmlItem* item) {
    size_t at = *pos;
    for (;;) {
        at = SkipSpace(text, at);
        if (at >= text.size()) return false;
        if (text[at] == '>' || text[at] == '/') break;
        const size_t nameStart = at;
        while (at < text.size() && IsNameChar(text[at]))
            ++at;
        if (at == nameStart) return false;
        std::string name = text.substr(nameStart, at - nameStart);
        at = SkipSpace(text, at);
        if (at >= text.size() || text[at] != '=') return false;
        at = SkipSpace(text, at + 1);
        if (at >= text.size() || (text[at] != '"' && text[at] != '\'')) return false;
        const size_t close = text.find(text[at], at + 1);
        if (close == std::string::npos) return false;
        item->attributes.emplace_back(std::move(name), Decode(text, at + 1, close));
        at = close + 1;
    }
    *pos = at;
    return true;
}

XmlStep ReadTag(const std::string& text, size_t* pos, XmlItem* item) {
    size_t at = *pos + 1;
    const bool closing = at < text.size() && text[at] == '/';
    if (closing) ++at;
    const size_t nameStart = at;
    while (at < text.size() && IsNameChar(text[at]))
        ++at;
    if (at == nameStart) return XmlStep::kBroken;
    item->name = text.substr(nameStart, at - nameStart);
    if (closing) {
        at = SkipSpace(text, at);
        if (at >= text.size() || text[at] != '>') return XmlStep::kBroken;
        item->kind = XmlItem::kClose;
        *pos = at + 1;
        return XmlStep::kItem;
    }
    if (!ReadAttributes(text, &at, item)) return XmlStep::kBroken;
    const bool empty = text[at] == '/';
    if (empty && (at + 1 >= text.size() || text[at + 1] != '>')) return XmlStep::kBroken;
    item->kind = empty ? XmlItem::kEmpty : XmlItem::kOpen;
    *pos = at + (empty ? 2 : 1);
    return XmlStep::kItem;
}

}  // namespace

XmlStep NextXmlItem(const std::string& text, size_t* pos, XmlItem* item) {
    *item = XmlItem();
    for (;;) {
        if (*pos >= text.size()) return XmlStep::kEnd;
        if (text[*pos] != '<') {
            const size_t end = std::min(text.find('<', *pos), text.size());
            item->kind = XmlItem::kText;
            item->text = Decode(text, *pos, end);
            *pos = end;
            return XmlStep::kItem;
        }
        if (text.compare(*pos, 9, "<![CDATA[") == 0) {
            const size_t close = text.find("]]>", *pos + 9);
            if (close == std::string::npos) return XmlStep::kBroken;
            item->kind = XmlItem::kText;
            item->text = text.substr(*pos + 9, close - *pos - 9);
            *pos = close + 3;
            return XmlStep::kItem;
        }
        bool skipped = false;
        if (!SkipMarkup(text, pos, &skipped)) return XmlStep::kBroken;
        if (!skipped) return ReadTag(text, pos, item);
    }
}

const std::string* XmlAttribute(const XmlItem& item, const char* name) {
    for (const auto& attribute : item.attributes)
        if (attribute.first == name) return &attribute.second;
    return nullptr;
}
