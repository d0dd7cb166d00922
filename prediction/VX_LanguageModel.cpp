#include "prediction/VX_LanguageModel.h"

#include "base/RegularFile.h"
#include "base/SearchDirs.h"
#include "base/VX_Log.h"
#include "prediction/VX_TextFold.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <unistd.h>

namespace {

// Most frequent words kept for each first letter and overall, enough for
// any number of suggestions a bar shows.
constexpr size_t kTopPerLetter = 64;

// Reads the lines of a model file one by one, with their numbers.
struct LineReader {
    std::string_view text;
    size_t at = 0;
    int number = 0;

    bool next(std::string_view &line)
    {
        if (at >= text.size())
            return false;
        size_t end = text.find('\n', at);
        if (end == std::string_view::npos)
            end = text.size();
        line = text.substr(at, end - at);
        at = end + 1;
        ++number;
        return true;
    }
};

// Reads one unsigned number at the start of `field` and drops it with the
// blank after it.
bool takeNumber(std::string_view &field, uint32_t &value)
{
    const char *begin = field.data();
    const char *end = begin + field.size();
    auto [ptr, ec] = std::from_chars(begin, end, value);
    if (ec != std::errc() || ptr == begin)
        return false;
    field.remove_prefix(size_t(ptr - begin));
    if (!field.empty()) {
        if (field[0] != ' ' && field[0] != '\t' && field[0] != ':')
            return false;
        field.remove_prefix(1);
    }
    return true;
}

bool takeKeyword(std::string_view &line, std::string_view keyword)
{
    if (line.substr(0, keyword.size()) != keyword || line.size() <= keyword.size() ||
        line[keyword.size()] != ' ')
        return false;
    line.remove_prefix(keyword.size() + 1);
    return true;
}

}  // namespace

std::string VX_LanguageModel::findFile(const std::string &language)
{
    if (language.size() < 2 || language.size() > 3)
        return std::string();
    for (char c : language) {
        if (c < 'a' || c > 'z')
            return std::string();
    }
    for (const std::string &dir : platformSearchDirs()) {
        const std::string path = dir + "/models/" + language + ".vxlm";
        if (access(path.c_str(), R_OK) == 0)
            return path;
    }
    return std::string();
}

bool VX_LanguageModel::load(const std::string &path)
{
    clear();
    const int fd = vxOpenRegularFile(path.c_str());
    if (fd < 0) {
        vxLog.print("VX_LanguageModel: %s: cannot open the model (%s)\n", path.c_str(), strerror(errno));
        return false;
    }
    std::string text;
    char buffer[65536];
    for (;;) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            vxLog.print("VX_LanguageModel: %s: read error (%s)\n", path.c_str(), strerror(errno));
            close(fd);
            return false;
        }
        if (got == 0)
            break;
        if (text.size() + size_t(got) > kMaxFileBytes) {
            vxLog.print("VX_LanguageModel: %s: larger than %zu bytes, not a model\n", path.c_str(),
                        kMaxFileBytes);
            close(fd);
            return false;
        }
        text.append(buffer, size_t(got));
    }
    close(fd);
    return parse(text, path);
}

void VX_LanguageModel::clear()
{
    language_.clear();
    strings_.clear();
    words_.clear();
    unigram_.clear();
    byLower_.clear();
    byKey_.clear();
    topByFirst_.clear();
    topAll_.clear();
    bigrams_.clear();
    trigramKeys_.clear();
    trigrams_.clear();
    next2_.clear();
    count2_.clear();
    next3_.clear();
    count3_.clear();
    top_.clear();
}

bool VX_LanguageModel::fail(const std::string &name, int line, const char *what)
{
    vxLog.print("VX_LanguageModel: %s:%d: %s\n", name.c_str(), line, what);
    clear();
    return false;
}

bool VX_LanguageModel::parse(std::string_view text, const std::string &name)
{
    clear();
    LineReader reader{text};
    std::string_view line;
    if (!reader.next(line) || !takeKeyword(line, "vexil-lm") || line.substr(0, 2) != "1 " ||
        line.size() < 3)
        return fail(name, reader.number, "not a vexil language model (first line \"vexil-lm 1 <lang>\")");
    language_ = std::string(line.substr(2));

    uint32_t discountsPermille[2] = {0, 0};
    if (!reader.next(line) || !takeKeyword(line, "discounts") || !takeNumber(line, discountsPermille[0]) ||
        !takeNumber(line, discountsPermille[1]) || !line.empty() || discountsPermille[0] == 0 ||
        discountsPermille[0] >= 1000 || discountsPermille[1] == 0 || discountsPermille[1] >= 1000)
        return fail(name, reader.number, "expected \"discounts <bigram> <trigram>\" in thousandths");
    discount2_ = discountsPermille[0] / 1000.0;
    discount3_ = discountsPermille[1] / 1000.0;

    uint32_t wordCount = 0;
    if (!reader.next(line) || !takeKeyword(line, "words") || !takeNumber(line, wordCount) || !line.empty() ||
        wordCount == 0 || wordCount > (1u << 24))
        return fail(name, reader.number, "expected \"words <count>\"");
    words_.reserve(wordCount + 1);
    unigram_.reserve(wordCount + 1);
    words_.push_back(Word{0, 0, 0, 0});  // the sentence start has no form
    unigram_.push_back(0.0f);
    std::vector<uint32_t> counts;
    counts.reserve(wordCount + 1);
    counts.push_back(0);
    double total = 0;
    for (uint32_t i = 0; i < wordCount; ++i) {
        uint32_t count = 0;
        if (!reader.next(line) || !takeNumber(line, count) || count == 0 || line.empty() ||
            line.size() > kMaxWordBytes || line.find_first_of(" \t\r") != std::string_view::npos)
            return fail(name, reader.number, "expected \"<count> <word>\"");
        const std::string lower = vxLowerText(line);
        const std::string key = vxFoldKey(line);
        if (lower.size() > 255 || key.size() > 255)
            return fail(name, reader.number, "word too long");
        Word word{uint32_t(strings_.size()), uint8_t(line.size()), uint8_t(lower.size()), uint8_t(key.size())};
        strings_.append(line);
        strings_.append(lower);
        strings_.append(key);
        words_.push_back(word);
        counts.push_back(count);
        total += count;
    }
    for (uint32_t id = 1; id < counts.size(); ++id)
        unigram_.push_back(float(counts[id] / total));
    byLower_.resize(words_.size() - 1);
    for (uint32_t id = 1; id < words_.size(); ++id)
        byLower_[id - 1] = id;
    std::sort(byLower_.begin(), byLower_.end(), [this](uint32_t a, uint32_t b) { return lower(a) < lower(b); });
    for (size_t i = 1; i < byLower_.size(); ++i) {
        if (lower(byLower_[i - 1]) == lower(byLower_[i]))
            return fail(name, reader.number, "a word is listed twice");
    }

    auto readFollowers = [&](std::string_view &rest, Context &context, std::vector<uint32_t> &next,
                             std::vector<uint32_t> &count, uint32_t &seen) -> bool {
        context.start = uint32_t(next.size());
        uint64_t kept = 0;
        uint32_t last = 0;
        while (!rest.empty()) {
            uint32_t word = 0, c = 0;
            if (!takeNumber(rest, word) || !takeNumber(rest, c) || word == 0 || word >= words_.size() || c == 0 ||
                (next.size() > context.start && word <= last))
                return false;
            next.push_back(word);
            count.push_back(c);
            kept += c;
            last = word;
        }
        context.n = uint32_t(next.size() - context.start);
        if (context.n == 0 || kept > context.total)
            return false;
        seen = context.n;
        return true;
    };

    uint32_t contextCount = 0;
    if (!reader.next(line) || !takeKeyword(line, "bigrams") || !takeNumber(line, contextCount) || !line.empty())
        return fail(name, reader.number, "expected \"bigrams <contexts>\"");
    bigrams_.assign(words_.size(), Context{0, 0, 0, 1.0f, 0});
    for (uint32_t i = 0; i < contextCount; ++i) {
        uint32_t v = 0, seen = 0;
        Context context{0, 0, 0, 1.0f, 0};
        if (!reader.next(line) || !takeNumber(line, v) || v >= words_.size() || bigrams_[v].n != 0 ||
            !takeNumber(line, context.total) || !readFollowers(line, context, next2_, count2_, seen))
            return fail(name, reader.number, "expected \"<word> <total> <next>:<count>...\" in rising word order");
        bigrams_[v] = context;
    }
    if (!reader.next(line) || !takeKeyword(line, "trigrams") || !takeNumber(line, contextCount) || !line.empty())
        return fail(name, reader.number, "expected \"trigrams <contexts>\"");
    trigramKeys_.reserve(contextCount);
    trigrams_.reserve(contextCount);
    for (uint32_t i = 0; i < contextCount; ++i) {
        uint32_t u = 0, v = 0, seen = 0;
        Context context{0, 0, 0, 1.0f, 0};
        if (!reader.next(line) || !takeNumber(line, u) || !takeNumber(line, v) || u >= words_.size() ||
            v >= words_.size() || !takeNumber(line, context.total) ||
            !readFollowers(line, context, next3_, count3_, seen))
            return fail(name, reader.number, "expected \"<word> <word> <total> <next>:<count>...\"");
        const uint64_t key = (uint64_t(u) << 32) | v;
        if (!trigramKeys_.empty() && key <= trigramKeys_.back())
            return fail(name, reader.number, "trigram contexts out of order");
        trigramKeys_.push_back(key);
        trigrams_.push_back(context);
    }
    if (reader.next(line) && !line.empty())
        return fail(name, reader.number, "text after the last trigram");

    // The mass each context leaves to the shorter one: what discounting took
    // from its kept counts plus every count pruned from the file.
    auto setBackoff = [](Context &context, const std::vector<uint32_t> &count, double discount) {
        if (context.n == 0)
            return;
        double kept = 0;
        for (uint32_t i = context.start; i < context.start + context.n; ++i)
            kept += std::max(0.0, count[i] - discount);
        context.backoff = float(1.0 - kept / context.total);
    };
    for (Context &context : bigrams_) {
        setBackoff(context, count2_, discount2_);
        buildTop(context, next2_, count2_);
    }
    for (Context &context : trigrams_) {
        setBackoff(context, count3_, discount3_);
        buildTop(context, next3_, count3_);
    }
    buildIndexes();
    return true;
}

void VX_LanguageModel::buildIndexes()
{
    byKey_.resize(words_.size() - 1);
    for (uint32_t id = 1; id < words_.size(); ++id)
        byKey_[id - 1] = id;
    std::sort(byKey_.begin(), byKey_.end(), [this](uint32_t a, uint32_t b) {
        const int order = key(a).compare(key(b));
        return order < 0 || (order == 0 && a < b);
    });
    // Ids rise as frequency falls, so the first ids met are the most frequent.
    for (uint32_t id = 1; id < words_.size(); ++id) {
        if (topAll_.size() < kTopPerLetter)
            topAll_.push_back(id);
        const std::string_view k = key(id);
        if (k.empty())
            continue;
        int length = 0;
        vxDecodeAt(k, 0, length);
        std::vector<uint32_t> &top = topByFirst_[std::string(k.substr(0, size_t(length)))];
        if (top.size() < kTopPerLetter)
            top.push_back(id);
    }
}

uint32_t VX_LanguageModel::find(std::string_view lowerForm) const
{
    const auto it = std::lower_bound(byLower_.begin(), byLower_.end(), lowerForm,
                                     [this](uint32_t id, std::string_view form) { return lower(id) < form; });
    return it == byLower_.end() || lower(*it) != lowerForm ? kNone : *it;
}

std::string_view VX_LanguageModel::form(uint32_t id) const
{
    const Word &w = words_[id];
    return std::string_view(strings_).substr(w.at, w.formLen);
}

std::string_view VX_LanguageModel::lower(uint32_t id) const
{
    const Word &w = words_[id];
    return std::string_view(strings_).substr(w.at + w.formLen, w.lowerLen);
}

std::string_view VX_LanguageModel::key(uint32_t id) const
{
    const Word &w = words_[id];
    return std::string_view(strings_).substr(w.at + w.formLen + w.lowerLen, w.keyLen);
}

double VX_LanguageModel::follower(const Context &context, const std::vector<uint32_t> &next,
                                  const std::vector<uint32_t> &count, uint32_t word, double discount)
{
    const auto begin = next.begin() + context.start;
    const auto end = begin + context.n;
    const auto it = std::lower_bound(begin, end, word);
    if (it == end || *it != word)
        return 0.0;
    return std::max(0.0, count[size_t(it - next.begin())] - discount) / context.total;
}

double VX_LanguageModel::bigram(uint32_t word, uint32_t v) const
{
    const double base = unigram_[word];
    if (v == kNone || v >= bigrams_.size() || bigrams_[v].n == 0)
        return base;
    const Context &context = bigrams_[v];
    return follower(context, next2_, count2_, word, discount2_) + context.backoff * base;
}

double VX_LanguageModel::probability(uint32_t word, uint32_t u, uint32_t v) const
{
    if (word == 0 || word >= words_.size())
        return 0.0;
    const double lower2 = bigram(word, v);
    if (u == kNone || v == kNone)
        return lower2;
    const uint64_t key = (uint64_t(u) << 32) | v;
    const auto it = std::lower_bound(trigramKeys_.begin(), trigramKeys_.end(), key);
    if (it == trigramKeys_.end() || *it != key)
        return lower2;
    const Context &context = trigrams_[size_t(it - trigramKeys_.begin())];
    return follower(context, next3_, count3_, word, discount3_) + context.backoff * lower2;
}

void VX_LanguageModel::buildTop(Context &context, const std::vector<uint32_t> &next,
                                const std::vector<uint32_t> &count)
{
    if (context.n <= kTopFollowers)
        return;
    std::vector<uint32_t> order(context.n);
    for (uint32_t i = 0; i < context.n; ++i)
        order[i] = context.start + i;
    std::partial_sort(order.begin(), order.begin() + kTopFollowers, order.end(),
                      [&count](uint32_t a, uint32_t b) { return count[a] > count[b]; });
    context.top = uint32_t(top_.size());
    for (uint32_t i = 0; i < kTopFollowers; ++i)
        top_.push_back(next[order[i]]);
}

void VX_LanguageModel::visitContext(const Context &context, const std::vector<uint32_t> &next, bool mostFrequent,
                                    const std::function<void(uint32_t)> &visit) const
{
    if (mostFrequent && context.n > kTopFollowers) {
        for (uint32_t i = context.top; i < context.top + kTopFollowers; ++i)
            visit(top_[i]);
        return;
    }
    for (uint32_t i = context.start; i < context.start + context.n; ++i)
        visit(next[i]);
}

void VX_LanguageModel::forEachFollower(uint32_t u, uint32_t v, bool mostFrequent,
                                       const std::function<void(uint32_t)> &visit) const
{
    if (v == kNone || v >= bigrams_.size())
        return;
    visitContext(bigrams_[v], next2_, mostFrequent, visit);
    if (u == kNone)
        return;
    const uint64_t key = (uint64_t(u) << 32) | v;
    const auto it = std::lower_bound(trigramKeys_.begin(), trigramKeys_.end(), key);
    if (it == trigramKeys_.end() || *it != key)
        return;
    visitContext(trigrams_[size_t(it - trigramKeys_.begin())], next3_, mostFrequent, visit);
}

void VX_LanguageModel::topWithPrefix(std::string_view keyPrefix, size_t limit, std::vector<uint32_t> &out) const
{
    if (empty() || limit == 0)
        return;
    const std::vector<uint32_t> *top = nullptr;
    if (keyPrefix.empty()) {
        top = &topAll_;
    } else {
        int length = 0;
        vxDecodeAt(keyPrefix, 0, length);
        if (size_t(length) == keyPrefix.size()) {
            const auto it = topByFirst_.find(std::string(keyPrefix));
            if (it == topByFirst_.end())
                return;
            top = &it->second;
        }
    }
    if (top) {
        out.insert(out.end(), top->begin(), top->begin() + long(std::min(limit, top->size())));
        return;
    }
    const auto begin = std::lower_bound(byKey_.begin(), byKey_.end(), keyPrefix,
                                        [this](uint32_t id, std::string_view p) { return key(id) < p; });
    auto end = begin;
    while (end != byKey_.end() && key(*end).substr(0, keyPrefix.size()) == keyPrefix)
        ++end;
    std::vector<uint32_t> range(begin, end);
    const size_t n = std::min(limit, range.size());
    std::partial_sort(range.begin(), range.begin() + long(n), range.end());
    out.insert(out.end(), range.begin(), range.begin() + long(n));
}

size_t VX_LanguageModel::memoryBytes() const
{
    size_t bytes = strings_.capacity() + words_.capacity() * sizeof(Word) + unigram_.capacity() * sizeof(float) +
                   byKey_.capacity() * sizeof(uint32_t) + topAll_.capacity() * sizeof(uint32_t) +
                   bigrams_.capacity() * sizeof(Context) + trigramKeys_.capacity() * sizeof(uint64_t) +
                   trigrams_.capacity() * sizeof(Context) +
                   (next2_.capacity() + count2_.capacity() + next3_.capacity() + count3_.capacity()) *
                       sizeof(uint32_t) + top_.capacity() * sizeof(uint32_t);
    bytes += byLower_.capacity() * sizeof(uint32_t);
    for (const auto &entry : topByFirst_)
        bytes += entry.first.capacity() + entry.second.capacity() * sizeof(uint32_t) + 4 * sizeof(void *);
    return bytes;
}
