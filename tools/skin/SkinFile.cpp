#include "tools/skin/SkinFile.h"

#include <vector>

namespace {

std::vector<std::string> splitLines(const std::string &text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

bool isHeader(const std::string &line) { return !line.empty() && line[0] == '['; }

// "[name]" followed by nothing but blanks.
bool isHeaderOf(const std::string &line, const std::string &name)
{
    const std::string header = "[" + name + "]";
    if (line.compare(0, header.size(), header) != 0)
        return false;
    for (size_t i = header.size(); i < line.size(); ++i)
        if (line[i] != ' ' && line[i] != '\t' && line[i] != '\r')
            return false;
    return true;
}

bool isBlank(const std::string &line) { return line.find_first_not_of(" \t\r") == std::string::npos; }

}  // namespace

std::string replaceSection(const std::string &fileText, const std::string &name, const std::string &section)
{
    const std::vector<std::string> lines = splitLines(fileText);
    std::vector<std::string> kept;
    std::vector<std::string> labels;
    size_t insertAt = std::string::npos;
    bool inside = false;
    for (const std::string &line : lines) {
        if (isHeader(line))
            inside = isHeaderOf(line, name);
        if (inside && isHeaderOf(line, name) && insertAt == std::string::npos)
            insertAt = kept.size();
        if (!inside) {
            kept.push_back(line);
        } else if (line.compare(0, 7, "#label ") == 0 || line.compare(0, 7, "#label\t") == 0) {
            labels.push_back(line);
        }
    }
    if (insertAt == std::string::npos) {
        while (!kept.empty() && isBlank(kept.back()))
            kept.pop_back();
        if (!kept.empty())
            kept.push_back(std::string());
        insertAt = kept.size();
    }

    std::vector<std::string> added = splitLines(section);
    added.insert(added.end(), labels.begin(), labels.end());
    // One blank line between the new section and a header after it.
    if (insertAt < kept.size() && !isBlank(kept[insertAt]))
        added.push_back(std::string());
    kept.insert(kept.begin() + static_cast<std::ptrdiff_t>(insertAt), added.begin(), added.end());

    std::string out;
    for (const std::string &line : kept)
        out += line + "\n";
    return out;
}
