#include "settings/IniStore.h"

#include <charconv>

namespace tavrin::settings {
namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void AppendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// "%20" and friends in section and value names.
std::string Unpercent(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 && HexDigit(text[i + 2]) >= 0) {
            out += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
    return text;
}

// A value as written: parts in double quotes keep their spaces, backslash
// escapes stand for control characters and \x for a character code, and a
// leading "@@" is a plain "@".
std::string Unescape(std::string_view text) {
    std::string out;
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            quoted = !quoted;
        } else if (c == '\\' && i + 1 < text.size()) {
            const char e = text[++i];
            switch (e) {
                case 'n': out += '\n'; break;
                case 't': out += '\t'; break;
                case 'r': out += '\r'; break;
                case '0': out += '\0'; break;
                case 'x': {
                    std::uint32_t code = 0;
                    int digits = 0;
                    while (digits < 4 && i + 1 < text.size() && HexDigit(text[i + 1]) >= 0) {
                        code = code * 16 + static_cast<std::uint32_t>(HexDigit(text[++i]));
                        ++digits;
                    }
                    AppendUtf8(out, code);
                    break;
                }
                default: out += e; break;
            }
        } else if (c == ';' && !quoted) {
            break;  // a comment
        } else {
            out += c;
        }
    }
    if (out.rfind("@@", 0) == 0) out.erase(0, 1);
    return out;
}

}  // namespace

IniStore::IniStore(std::string_view text) {
    std::string section;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = Trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (line.empty() || line.front() == ';' || line.front() == '#') continue;
        if (line.front() == '[') {
            section = Unpercent(line.substr(1, line.find(']') - 1));
            continue;
        }
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) continue;
        values[{section, Unpercent(Trim(line.substr(0, equals)))}] = Unescape(Trim(line.substr(equals + 1)));
    }
}

bool IniStore::readString(std::string_view subKey, std::string_view name, std::string& value) {
    const auto it = values.find(std::pair<std::string, std::string>(subKey, name));
    if (it == values.end()) return false;
    value = it->second;
    return true;
}

bool IniStore::readNumber(std::string_view subKey, std::string_view name, std::uint32_t& value) {
    std::string text;
    if (!readString(subKey, name, text) || text.empty()) return false;
    std::uint32_t parsed = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
    if (error != std::errc() || end != text.data() + text.size()) return false;
    value = parsed;
    return true;
}

}  // namespace tavrin::settings
