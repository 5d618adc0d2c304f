#include "app/IniText.h"

#include <cstddef>
#include <vector>

namespace app {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b])) ++b;
    while (e > b && IsBlank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
        if (x != y) return false;
    }
    return true;
}

// One physical line: its text without the line break, and where it lies in the content.
struct Line {
    std::string text;
    size_t begin;  // first byte
    size_t end;    // one past the line break (or the content's end)
};

std::vector<Line> SplitLines(const std::string& content) {
    std::vector<Line> lines;
    size_t pos = 0;
    while (pos < content.size()) {
        size_t nl = content.find('\n', pos);
        size_t stop = nl == std::string::npos ? content.size() : nl;
        size_t textEnd = stop;
        if (textEnd > pos && content[textEnd - 1] == '\r') --textEnd;
        lines.push_back({content.substr(pos, textEnd - pos), pos,
                         nl == std::string::npos ? content.size() : nl + 1});
        pos = lines.back().end;
    }
    return lines;
}

// "[name]" gives true and the trimmed name.
bool SectionName(const std::string& line, std::string* name) {
    std::string t = Trim(line);
    if (t.size() < 2 || t.front() != '[') return false;
    size_t close = t.find(']');
    if (close == std::string::npos) return false;
    *name = Trim(t.substr(1, close - 1));
    return true;
}

// "key = value" gives true, the trimmed key and the raw value.
bool KeyLine(const std::string& line, std::string* key, std::string* value) {
    size_t eq = line.find('=');
    if (eq == std::string::npos) return false;
    *key = Trim(line.substr(0, eq));
    *value = line.substr(eq + 1);
    return true;
}

// The lines of a section: [first, last) line indexes after its header; header index in *at.
bool FindSection(const std::vector<Line>& lines, const std::string& section, size_t* header,
                 size_t* last) {
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string name;
        if (SectionName(lines[i].text, &name) && SameName(name, section)) {
            size_t j = i + 1;
            std::string other;
            while (j < lines.size() && !SectionName(lines[j].text, &other)) ++j;
            *header = i;
            *last = j;
            return true;
        }
    }
    return false;
}

}  // namespace

bool IniGetValue(const std::string& content, const std::string& section, const std::string& key,
                 std::string* value) {
    std::vector<Line> lines = SplitLines(content);
    size_t header = 0, last = 0;
    if (!FindSection(lines, section, &header, &last)) return false;
    for (size_t i = header + 1; i < last; ++i) {
        std::string k, v;
        if (KeyLine(lines[i].text, &k, &v) && SameName(k, key)) {
            v = Trim(v);
            if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
                v = v.substr(1, v.size() - 2);
            *value = v;
            return true;
        }
    }
    return false;
}

std::string IniSetValue(const std::string& content, const std::string& section,
                        const std::string& key, const std::string& value) {
    const std::string eol = content.find("\r\n") != std::string::npos ? "\r\n" : "\n";
    const std::string entry = key + "=" + value;
    std::vector<Line> lines = SplitLines(content);
    size_t header = 0, last = 0;
    if (!FindSection(lines, section, &header, &last)) {
        std::string result = content;
        if (!result.empty() && result.back() != '\n') result += eol;
        return result + "[" + section + "]" + eol + entry + eol;
    }
    for (size_t i = header + 1; i < last; ++i) {
        std::string k, v;
        if (KeyLine(lines[i].text, &k, &v) && SameName(k, key)) {
            // Replace the line's text, keep its line break and the key as the file writes it.
            size_t textEnd = lines[i].begin + lines[i].text.size();
            return content.substr(0, lines[i].begin) + k + "=" + value + content.substr(textEnd);
        }
    }
    // New key: after the section's last non-blank line.
    size_t after = header;
    for (size_t i = header + 1; i < last; ++i) {
        if (!Trim(lines[i].text).empty()) after = i;
    }
    size_t insertAt = lines[after].end;
    std::string prefix = content.substr(0, insertAt);
    if (!prefix.empty() && prefix.back() != '\n') prefix += eol;
    return prefix + entry + eol + content.substr(insertAt);
}

}  // namespace app
