#include "interaction/VX_Alternates.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/RegularFile.h"
#include "base/VX_Log.h"
#include "base/VX_Utf8.h"

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// The whole file, at most `limit` bytes; false with errno's reason or
// "too large" in `why`.
bool readAll(const char *path, long limit, std::string &text, std::string &why)
{
    const int fd = vxOpenRegularFile(path);
    if (fd < 0) {
        why = std::strerror(errno);
        return false;
    }
    char chunk[4096];
    for (;;) {
        const ssize_t got = read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            why = std::strerror(errno);
            close(fd);
            return false;
        }
        if (got == 0)
            break;
        text.append(chunk, static_cast<size_t>(got));
        if (static_cast<long>(text.size()) > limit) {
            why = "larger than " + std::to_string(limit / 1024) + " KiB";
            close(fd);
            return false;
        }
    }
    close(fd);
    return true;
}

// Calls take(word) for each space-separated word of `list`.
template <typename Take>
void eachWord(const char *list, Take &&take)
{
    const char *at = list;
    while (*at) {
        while (*at == ' ')
            ++at;
        const char *end = at;
        while (*end && *end != ' ')
            ++end;
        if (end > at) {
            char word[VX_PopupItems::kTextSize];
            const size_t n = std::min<size_t>(static_cast<size_t>(end - at), sizeof word - 1);
            std::memcpy(word, at, n);
            word[n] = '\0';
            take(word);
        }
        at = end;
    }
}

}  // namespace

void VX_Alternates::clear()
{
    entries_.clear();
    texts_.clear();
    fileName_[0] = '\0';
}

const char *VX_Alternates::entryKey(int32_t index, int32_t &line) const
{
    if (index < 0 || index >= entryCount()) {
        line = 0;
        return "";
    }
    line = entries_[static_cast<size_t>(index)].line;
    return entries_[static_cast<size_t>(index)].key;
}

bool VX_Alternates::load(const char *path, const char *fileName)
{
    clear();
    std::string text, why;
    if (!readAll(path, kMaxFileBytes, text, why)) {
        vxLog.print("VX_Alternates: cannot read %s: %s\n", fileName, why.c_str());
        return false;
    }
    size_t start = 0;
    if (text.compare(0, 3, kUtf8ByteOrderMark) == 0)
        start = 3;
    std::vector<Entry> entries;
    std::vector<std::array<char, kTextSize>> texts;
    int line = 0;
    auto fail = [&](const char *format, const std::string &word) {
        char message[160];
        std::snprintf(message, sizeof message, format, word.c_str());
        vxLog.print("VX_Alternates: %s (%s, %d)\n", message, fileName, line);
        return false;
    };
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        ++line;
        const std::string row = text.substr(start, end - start);
        start = end + 1;
        size_t bad = 0;
        if (vxUtf8Count(row.data(), row.size(), &bad) < 0)
            return fail("not UTF-8 text at byte %s of the line", std::to_string(bad + 1));
        for (unsigned char c : row)
            if (c < 0x20 && c != '\t' && c != '\r')
                return fail("a control character (byte %s) in the line", std::to_string(c));
        size_t at = 0;
        while (at < row.size() && isBlank(row[at]))
            ++at;
        if (at == row.size() || row[at] == '#')
            continue;
        std::vector<std::string> words;
        while (at < row.size()) {
            size_t stop = at;
            while (stop < row.size() && !isBlank(row[stop]))
                ++stop;
            words.push_back(row.substr(at, stop - at));
            at = stop;
            while (at < row.size() && isBlank(row[at]))
                ++at;
        }
        const std::string &key = words.front();
        if (key.size() >= static_cast<size_t>(kKeySize))
            return fail("'%s' is longer than a key string (15 bytes)", key);
        for (const Entry &e : entries)
            if (key == e.key)
                return fail("'%s' is given twice", key);
        if (static_cast<int>(words.size()) - 1 > kMaxPerKey)
            return fail("'%s' has more than 32 alternates", key);
        if (static_cast<int>(entries.size()) >= kMaxEntries)
            return fail("more than 1024 keys, at '%s'", key);
        Entry entry{};
        std::memcpy(entry.key, key.c_str(), key.size() + 1);
        entry.first = static_cast<int32_t>(texts.size());
        entry.line = line;
        for (size_t i = 1; i < words.size(); ++i) {
            if (words[i].size() >= static_cast<size_t>(kTextSize))
                return fail("the alternate '%s' is longer than 31 bytes", words[i]);
            for (size_t j = 1; j < i; ++j)
                if (words[j] == words[i])
                    return fail("the alternate '%s' is given twice", words[i]);
            std::array<char, kTextSize> cell{};
            std::memcpy(cell.data(), words[i].c_str(), words[i].size() + 1);
            texts.push_back(cell);
        }
        entry.count = static_cast<int32_t>(words.size()) - 1;
        entries.push_back(entry);
        if (end == text.size())
            break;
    }
    entries_ = std::move(entries);
    texts_ = std::move(texts);
    std::snprintf(fileName_, sizeof fileName_, "%s", fileName);
    return true;
}

const VX_Alternates::Entry *VX_Alternates::find(const char *key) const
{
    for (const Entry &e : entries_)
        if (std::strcmp(e.key, key) == 0)
            return &e;
    return nullptr;
}

const char *VX_Alternates::builtIn(const char *character)
{
    for (int i = 0; i < kVxAltBuiltInCount; ++i)
        if (std::strcmp(kVxAltBuiltIn[i].character, character) == 0)
            return kVxAltBuiltIn[i].alternates;
    return nullptr;
}

void VX_Alternates::append(const char *character, VX_PopupItems &out) const
{
    if (const Entry *e = find(character)) {
        for (int32_t i = 0; i < e->count; ++i)
            out.add(texts_[static_cast<size_t>(e->first + i)].data());
        return;
    }
    if (const char *list = builtIn(character))
        eachWord(list, [&](const char *word) { out.add(word); });
}

void VX_Alternates::fill(const VX_Key &key, int32_t mode, VX_PopupItems &out) const
{
    out.clear();
    if (key.type != VX_KEY_ALPHA || mode < 0 || mode >= VX_Key::kModes)
        return;
    const char *string = key.chars[mode];
    const int32_t count = key.charCount[mode];
    if (count <= 0)
        return;
    if (const Entry *e = find(string)) {
        for (int32_t i = 0; i < e->count; ++i)
            out.add(texts_[static_cast<size_t>(e->first + i)].data());
        return;
    }
    if (count == 1) {
        append(string, out);
        return;
    }
    // A multi-tap key: every character it steps through, then their
    // alternates, so a long press reaches any of them at once.
    char character[kUtf8MaxBytes + 1];
    for (int32_t pass = 0; pass < 2; ++pass) {
        for (int32_t i = 0; i < count; ++i) {
            int length = 0;
            const char *at = vxUtf8At(string, i, length);
            std::memcpy(character, at, static_cast<size_t>(length));
            character[length] = '\0';
            if (pass == 0)
                out.add(character);
            else
                append(character, out);
        }
    }
}
