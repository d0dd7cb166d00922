#include "prediction/VX_UserModel.h"

#include "base/RegularFile.h"
#include "base/VX_Log.h"
#include "base/VX_Utf8.h"
#include "prediction/VX_TextFold.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char *kHeader = "vexil-learned 1 ";
// Longest word learned, in bytes.
constexpr size_t kMaxWordBytes = 48;
// Highest count kept; counts stop growing there.
constexpr uint32_t kMaxCount = 1000000;

bool validWord(std::string_view word)
{
    if (word.empty() || word.size() > kMaxWordBytes || vxUtf8Count(word.data(), word.size()) < 0)
        return false;
    for (char c : word) {
        if (static_cast<unsigned char>(c) <= ' ')
            return false;
    }
    return true;
}

bool validContext(std::string_view word) { return word == VX_UserModel::kSentenceStart || validWord(word); }

std::string tripleKey(std::string_view u, std::string_view v)
{
    std::string key(u);
    key += ' ';
    key += v;
    return key;
}

// Splits `line` at single spaces into at most `max` fields.
size_t splitFields(std::string_view line, std::string_view *fields, size_t max)
{
    size_t n = 0;
    while (!line.empty() && n < max) {
        const size_t space = line.find(' ');
        fields[n++] = line.substr(0, space);
        if (space == std::string_view::npos)
            return n;
        line.remove_prefix(space + 1);
    }
    return line.empty() ? n : max + 1;
}

bool parseCount(std::string_view field, uint32_t &count)
{
    auto [ptr, ec] = std::from_chars(field.data(), field.data() + field.size(), count);
    return ec == std::errc() && ptr == field.data() + field.size() && count > 0 && count <= kMaxCount;
}

bool writeAll(int fd, const std::string &text)
{
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += size_t(n);
    }
    return true;
}

// Creates `dir` and the folders above it that are missing, each 0700.
bool makeFolders(const std::string &dir)
{
    if (dir.empty())
        return true;
    struct stat st;
    if (stat(dir.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode);
    const size_t slash = dir.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !makeFolders(dir.substr(0, slash)))
        return false;
    return mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
}

}  // namespace

std::string VX_UserModel::defaultPath(const std::string &language)
{
    std::string base;
    const char *data = getenv("XDG_DATA_HOME");
    if (data && data[0] == '/') {
        base = data;
    } else {
        const char *home = getenv("HOME");
        if (!home || home[0] != '/')
            return std::string();
        base = std::string(home) + "/.local/share";
    }
    return base + "/vexil/learned-" + language + ".txt";
}

void VX_UserModel::clear()
{
    words_.clear();
    pairs_.clear();
    triples_.clear();
    forgotten_.clear();
    pairCount_ = tripleCount_ = 0;
    total_ = 0;
}

bool VX_UserModel::load(const std::string &path, const std::string &language)
{
    clear();
    language_ = language;
    changed_ = false;
    const int fd = vxOpenRegularFile(path.c_str());
    if (fd < 0) {
        if (errno == ENOENT)
            return true;
        vxLog.print("VX_UserModel: %s: cannot read the learned words (%s); starting afresh, the file will be "
                    "replaced\n",
                    path.c_str(), strerror(errno));
        changed_ = true;
        return false;
    }
    std::string text;
    char buffer[65536];
    bool tooLarge = false, readError = false;
    for (;;) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            readError = true;
            break;
        }
        if (got == 0)
            break;
        if (text.size() + size_t(got) > kMaxFileBytes) {
            tooLarge = true;
            break;
        }
        text.append(buffer, size_t(got));
    }
    close(fd);
    if (readError || tooLarge) {
        vxLog.print("VX_UserModel: %s: %s; starting afresh, the file will be replaced\n", path.c_str(),
                    tooLarge ? "larger than any file of learned words" : "read error");
        changed_ = true;
        return false;
    }
    if (!parse(text, path, language)) {
        clear();
        changed_ = true;
        return false;
    }
    return true;
}

bool VX_UserModel::parse(std::string_view text, const std::string &path, const std::string &language)
{
    int number = 0;
    auto fail = [&](const char *what) {
        vxLog.print("VX_UserModel: %s:%d: %s; starting afresh, the file will be replaced\n", path.c_str(), number,
                    what);
        return false;
    };
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string_view::npos)
            return ++number, fail("the last line is cut short");
        const std::string_view line = text.substr(at, end - at);
        at = end + 1;
        ++number;
        if (number == 1) {
            if (line.substr(0, strlen(kHeader)) != kHeader)
                return fail("not a file of learned words");
            if (line.substr(strlen(kHeader)) != language)
                return fail("learned words of another language");
            continue;
        }
        std::string_view f[5];
        const size_t n = splitFields(line, f, 5);
        uint32_t count = 0;
        if (n == 2 && f[0] == "f" && validWord(f[1])) {
            if (forgotten_.size() < kMaxForgotten)
                forgotten_.insert(vxLowerText(f[1]));
        } else if (n == 3 && f[0] == "w" && parseCount(f[1], count) && validWord(f[2])) {
            const std::string lower = vxLowerText(f[2]);
            if (words_.count(lower))
                return fail("a word is listed twice");
            words_[lower] = Word{std::string(f[2]), vxFoldKey(f[2]), count};
            total_ += count;
        } else if (n == 4 && f[0] == "p" && parseCount(f[1], count) && validContext(f[2]) && validWord(f[3])) {
            Followers &followers = pairs_[std::string(f[2])];
            if (!followers.next.emplace(std::string(f[3]), count).second)
                return fail("a pair is listed twice");
            followers.total += count;
            ++pairCount_;
        } else if (n == 5 && f[0] == "t" && parseCount(f[1], count) && validContext(f[2]) && validWord(f[3]) &&
                   validWord(f[4])) {
            Followers &followers = triples_[tripleKey(f[2], f[3])];
            if (!followers.next.emplace(std::string(f[4]), count).second)
                return fail("a triple is listed twice");
            followers.total += count;
            ++tripleCount_;
        } else {
            return fail("expected \"w <count> <word>\", \"p <count> <word> <word>\", "
                        "\"t <count> <word> <word> <word>\" or \"f <word>\"");
        }
        if (words_.size() > kMaxWords || pairCount_ > kMaxPairs || tripleCount_ > kMaxTriples)
            return fail("more entries than a file of learned words holds");
    }
    if (number == 0)
        return fail("empty file");
    return true;
}

bool VX_UserModel::save(const std::string &path) const
{
    std::string text = kHeader + language_ + "\n";
    for (const auto &[lower, word] : words_)
        text += "w " + std::to_string(word.count) + " " + word.form + "\n";
    for (const auto &[v, followers] : pairs_) {
        for (const auto &[w, count] : followers.next)
            text += "p " + std::to_string(count) + " " + v + " " + w + "\n";
    }
    for (const auto &[uv, followers] : triples_) {
        for (const auto &[w, count] : followers.next)
            text += "t " + std::to_string(count) + " " + uv + " " + w + "\n";
    }
    for (const std::string &word : forgotten_)
        text += "f " + word + "\n";

    const size_t slash = path.find_last_of('/');
    const std::string dir = slash == std::string::npos ? std::string(".") : path.substr(0, slash);
    if (!makeFolders(dir)) {
        vxLog.print("VX_UserModel: %s: cannot create the folder (%s)\n", dir.c_str(), strerror(errno));
        return false;
    }
    // The folder holds what the user typed: only its owner may look in.
    struct stat st;
    if (stat(dir.c_str(), &st) == 0 && st.st_uid == getuid() && (st.st_mode & 0077) != 0 &&
        dir.size() >= 6 && dir.compare(dir.size() - 6, 6, "/vexil") == 0)
        chmod(dir.c_str(), 0700);
    std::string temp = path + ".XXXXXX";
    const int fd = mkstemp(temp.data());  // 0600
    if (fd < 0) {
        vxLog.print("VX_UserModel: %s: cannot write the learned words (%s)\n", path.c_str(), strerror(errno));
        return false;
    }
    const bool written = writeAll(fd, text) && fsync(fd) == 0;
    const int savedErrno = errno;
    close(fd);
    if (!written || rename(temp.c_str(), path.c_str()) != 0) {
        vxLog.print("VX_UserModel: %s: cannot write the learned words (%s)\n", path.c_str(),
                    strerror(written ? errno : savedErrno));
        unlink(temp.c_str());
        return false;
    }
    const int dirFd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        fsync(dirFd);
        close(dirFd);
    }
    changed_ = false;
    return true;
}

void VX_UserModel::learn(std::string_view u, std::string_view v, std::string_view word)
{
    if (!validWord(word))
        return;
    const std::string lower = vxLowerText(word);
    forgotten_.erase(lower);
    auto it = words_.find(lower);
    if (it == words_.end()) {
        it = words_.emplace(lower, Word{std::string(word), vxFoldKey(word), 0}).first;
    } else if (v != kSentenceStart) {
        it->second.form = std::string(word);  // the case the user writes it in
    }
    if (v == kSentenceStart && it->second.count == 0)
        it->second.form = lower;  // a capital forced by the sentence start is not the word's own
    if (it->second.count < kMaxCount) {
        ++it->second.count;
        ++total_;
    }
    if (validContext(v)) {
        Followers &followers = pairs_[std::string(v)];
        uint32_t &count = followers.next[lower];
        if (count == 0)
            ++pairCount_;
        if (count < kMaxCount)
            ++count, ++followers.total;
        if (validContext(u) && v != kSentenceStart) {
            Followers &three = triples_[tripleKey(u, v)];
            uint32_t &c3 = three.next[lower];
            if (c3 == 0)
                ++tripleCount_;
            if (c3 < kMaxCount)
                ++c3, ++three.total;
        }
    }
    changed_ = true;
    prune();
}

void VX_UserModel::prune()
{
    // Past a bound, the entries typed once go first, then every count halves,
    // so what the user types often stays.
    auto pruneFollowers = [](std::unordered_map<std::string, Followers> &map, size_t &entries, size_t max) {
        for (uint32_t floor = 1; entries > max; floor *= 2) {
            for (auto it = map.begin(); it != map.end();) {
                Followers &followers = it->second;
                for (auto f = followers.next.begin(); f != followers.next.end();) {
                    if (f->second <= floor) {
                        followers.total -= f->second;
                        f = followers.next.erase(f);
                        --entries;
                    } else {
                        ++f;
                    }
                }
                it = followers.next.empty() ? map.erase(it) : std::next(it);
            }
        }
    };
    pruneFollowers(pairs_, pairCount_, kMaxPairs);
    pruneFollowers(triples_, tripleCount_, kMaxTriples);
    for (uint32_t floor = 1; words_.size() > kMaxWords; floor *= 2) {
        for (auto it = words_.begin(); it != words_.end();) {
            if (it->second.count <= floor) {
                total_ -= it->second.count;
                it = words_.erase(it);
            } else {
                ++it;
            }
        }
    }
}

void VX_UserModel::forget(std::string_view word)
{
    const std::string lower = vxLowerText(word);
    if (lower.empty())
        return;
    const auto it = words_.find(lower);
    if (it != words_.end()) {
        total_ -= it->second.count;
        words_.erase(it);
    }
    auto dropFrom = [&lower](std::unordered_map<std::string, Followers> &map, size_t &entries, bool tripleKeys) {
        for (auto c = map.begin(); c != map.end();) {
            bool contextHasWord = c->first == lower;
            if (tripleKeys) {
                const size_t space = c->first.find(' ');
                contextHasWord = c->first.compare(0, space, lower) == 0 && space == lower.size();
                contextHasWord = contextHasWord || c->first.compare(space + 1, std::string::npos, lower) == 0;
            }
            if (contextHasWord) {
                entries -= c->second.next.size();
                c = map.erase(c);
                continue;
            }
            const auto f = c->second.next.find(lower);
            if (f != c->second.next.end()) {
                c->second.total -= f->second;
                c->second.next.erase(f);
                --entries;
            }
            c = c->second.next.empty() ? map.erase(c) : std::next(c);
        }
    };
    dropFrom(pairs_, pairCount_, false);
    dropFrom(triples_, tripleCount_, true);
    if (forgotten_.size() < kMaxForgotten)
        forgotten_.insert(lower);
    changed_ = true;
}

bool VX_UserModel::isForgotten(std::string_view lower) const
{
    return !forgotten_.empty() && forgotten_.count(std::string(lower)) != 0;
}

uint32_t VX_UserModel::count(std::string_view lower) const
{
    const auto it = words_.find(std::string(lower));
    return it == words_.end() ? 0 : it->second.count;
}

std::string VX_UserModel::form(std::string_view lower) const
{
    const auto it = words_.find(std::string(lower));
    return it == words_.end() ? std::string(lower) : it->second.form;
}

double VX_UserModel::probability(std::string_view lower, std::string_view u, std::string_view v) const
{
    if (total_ == 0)
        return 0.0;
    const std::string word(lower);
    double p = double(count(lower)) / double(total_);
    if (v.empty())
        return p;
    auto interpolate = [&word](const Followers &followers, double shorter) {
        const auto it = followers.next.find(word);
        const double seen = it == followers.next.end() ? 0.0 : it->second;
        const double types = double(followers.next.size());
        return (seen + types * shorter) / (followers.total + types);
    };
    const auto two = pairs_.find(std::string(v));
    if (two == pairs_.end())
        return p;
    p = interpolate(two->second, p);
    if (u.empty())
        return p;
    const auto three = triples_.find(tripleKey(u, v));
    return three == triples_.end() ? p : interpolate(three->second, p);
}

void VX_UserModel::candidates(std::string_view keyPrefix, std::string_view u, std::string_view v,
                              std::vector<std::string> &out) const
{
    if (!keyPrefix.empty()) {
        for (const auto &[lower, word] : words_) {
            if (word.key.compare(0, keyPrefix.size(), keyPrefix) == 0)
                out.push_back(lower);
        }
        return;
    }
    // Before any letter: the words that followed this context.
    if (v.empty())
        return;
    const auto two = pairs_.find(std::string(v));
    if (two != pairs_.end()) {
        for (const auto &entry : two->second.next)
            out.push_back(entry.first);
    }
    if (u.empty())
        return;
    const auto three = triples_.find(tripleKey(u, v));
    if (three != triples_.end()) {
        for (const auto &entry : three->second.next)
            out.push_back(entry.first);
    }
}
