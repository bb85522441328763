#include "platform/profile.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

// A small private-profile file: "[section]" lines and "key=value" lines,
// section and key names compared ignoring case, as Windows does.
namespace larkwire::platform {

namespace {

bool equalsIgnoringCase(const std::string& a, const char* b) {
    const size_t n = std::strlen(b);
    if (a.size() != n) return false;
    for (size_t i = 0; i < n; ++i) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

std::string trim(const std::string& text) {
    size_t begin = 0, end = text.size();
    while (begin < end && (text[begin] == ' ' || text[begin] == '\t')) ++begin;
    while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t' ||
                           text[end - 1] == '\r' || text[end - 1] == '\n'))
        --end;
    return text.substr(begin, end - begin);
}

std::string configFolder() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/') return xdg;
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "/tmp") + "/.config";
}

std::string pathOf(const char* fileName) {
    if (fileName[0] == '/') return fileName;
    return configFolder() + "/" + fileName;
}

std::vector<std::string> readLines(const std::string& path) {
    std::vector<std::string> lines;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return lines;
    std::string line;
    int c;
    while ((c = std::fgetc(file)) != EOF) {
        if (c == '\n') {
            lines.push_back(trim(line));
            line.clear();
        } else {
            line.push_back(char(c));
        }
    }
    if (!line.empty()) lines.push_back(trim(line));
    std::fclose(file);
    return lines;
}

bool isSectionLine(const std::string& line, std::string* name) {
    if (line.size() < 2 || line.front() != '[' || line.back() != ']') return false;
    *name = trim(line.substr(1, line.size() - 2));
    return true;
}

bool splitKey(const std::string& line, std::string* key, std::string* value) {
    const size_t equals = line.find('=');
    if (equals == std::string::npos) return false;
    *key = trim(line.substr(0, equals));
    *value = trim(line.substr(equals + 1));
    return true;
}

}  // namespace

int profilePath(const char* fileName, char* out, int size) {
    if (fileName == nullptr || out == nullptr || size <= 0) return 0;
    const std::string path = pathOf(fileName);
    std::snprintf(out, size_t(size), "%s", path.c_str());
    return static_cast<int>(std::strlen(out));
}

int readProfileString(const char* section, const char* key, const char* defaultValue, char* out,
                      int size, const char* fileName) {
    if (out == nullptr || size <= 0) return 0;
    std::string result = defaultValue != nullptr ? defaultValue : "";
    try {
        bool inSection = false;
        for (const std::string& line : readLines(pathOf(fileName))) {
            std::string name, lineKey, value;
            if (isSectionLine(line, &name)) {
                inSection = equalsIgnoringCase(name, section);
            } else if (inSection && splitKey(line, &lineKey, &value) &&
                       equalsIgnoringCase(lineKey, key)) {
                result = value;
                break;
            }
        }
    } catch (...) {
        result = defaultValue != nullptr ? defaultValue : "";
    }
    std::snprintf(out, size_t(size), "%s", result.c_str());
    return static_cast<int>(std::strlen(out));
}

bool writeProfileString(const char* section, const char* key, const char* value,
                        const char* fileName) {
    try {
        const std::string path = pathOf(fileName);
        std::vector<std::string> lines = readLines(path);
        const std::string entry = std::string(key) + "=" + value;
        bool inSection = false, written = false;
        size_t sectionEnd = std::string::npos;
        for (size_t i = 0; i < lines.size() && !written; ++i) {
            std::string name, lineKey, oldValue;
            if (isSectionLine(lines[i], &name)) {
                if (inSection) break;
                inSection = equalsIgnoringCase(name, section);
                if (inSection) sectionEnd = i + 1;
            } else if (inSection) {
                if (splitKey(lines[i], &lineKey, &oldValue) && equalsIgnoringCase(lineKey, key)) {
                    lines[i] = entry;
                    written = true;
                } else if (!lines[i].empty()) {
                    sectionEnd = i + 1;
                }
            }
        }
        if (!written) {
            if (sectionEnd == std::string::npos) {
                lines.push_back("[" + std::string(section) + "]");
                lines.push_back(entry);
            } else {
                lines.insert(lines.begin() + long(sectionEnd), entry);
            }
        }
        ::mkdir(configFolder().c_str(), 0755);
        const std::string temporary = path + ".tmp";
        std::FILE* file = std::fopen(temporary.c_str(), "wb");
        if (file == nullptr) return false;
        for (const std::string& line : lines) std::fprintf(file, "%s\n", line.c_str());
        const bool ok = std::fclose(file) == 0;
        // Replace in one step so a reader never sees half a file.
        return ok && std::rename(temporary.c_str(), path.c_str()) == 0;
    } catch (...) {
        return false;
    }
}

}  // namespace larkwire::platform
