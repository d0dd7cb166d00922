// vexil-model-build: writes a language model file for the prediction engine
// from word counts of another keyboard's data (a "\1-grams:" section of
// "<count> <word>" lines) and running text (plain, fortune files or HTML
// pages). Used by `make models`; the texts the benchmark evaluates on are
// never given to it.
//
//   vexil-model-build --lang en --out en.vxlm --unigrams en_US.lm
//       [--unigram-weight 0.5] [--max-words 50000] [--min-count 2]
//       [--text FILE]... [--html FILE]... [--ngrams FILE]...
//
// --ngrams reads n-gram counts as sqlite3 prints another keyboard's tables:
// "w1|count", "w1|w2|count" or "w1|w2|w3|count" a line.
#include "prediction/VX_LanguageModel.h"
#include "prediction/VX_TextFold.h"
#include "prediction/VX_Words.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

struct Options {
    std::string lang, out, unigrams;
    double unigramWeight = 0.5;   // share of the other keyboard's counts in the word frequencies
    size_t maxWords = 50000;      // words kept, most frequent first
    uint32_t minCount = 2;        // fewest sightings of a pair or triple to keep it
    uint32_t minTextWord = 3;     // fewest sightings of a word only the texts know
    std::vector<std::string> texts, pages, ngrams;
};

bool readFile(const std::string &path, std::string &out)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    out = buffer.str();
    return true;
}

// A line wrapped inside a sentence is joined to the next; an empty line, a
// fortune separator or a short line (a title, an attribution) ends it.
std::string joinWrappedLines(const std::string &text)
{
    std::string out;
    out.reserve(text.size());
    std::istringstream in(text);
    std::string line;
    bool open = false;
    while (std::getline(in, line)) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.pop_back();
        size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line == "%" || line.compare(first, 2, "--") == 0) {
            if (open)
                out += '\n';
            open = false;
            continue;
        }
        if (open)
            out += ' ';
        out.append(line, first, std::string::npos);
        open = true;
        if (line.size() < 20) {
            out += '\n';
            open = false;
        }
    }
    return out;
}

void appendEntity(std::string &out, const std::string &name)
{
    static const std::map<std::string, uint32_t> named = {
        {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}, {"nbsp", ' '},
        {"rsquo", 0x2019}, {"lsquo", 0x2018}, {"ldquo", 0x201C}, {"rdquo", 0x201D},
        {"mdash", 0x2014}, {"ndash", 0x2013}, {"hellip", 0x2026}, {"laquo", 0xAB}, {"raquo", 0xBB}};
    uint32_t cp = 0;
    if (!name.empty() && name[0] == '#') {
        cp = uint32_t(name.size() > 1 && (name[1] == 'x' || name[1] == 'X') ? strtoul(name.c_str() + 2, nullptr, 16)
                                                                          : strtoul(name.c_str() + 1, nullptr, 10));
    } else {
        const auto it = named.find(name);
        cp = it == named.end() ? ' ' : it->second;
    }
    if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        cp = ' ';
    vxAppendUtf8(out, cp);
}

// The running text of an HTML page: tags dropped, block elements end a
// sentence, code and scripts left out, entities decoded.
std::string htmlText(const std::string &page)
{
    std::string out;
    size_t at = 0;
    const size_t body = page.find("<body");
    if (body != std::string::npos)
        at = body;
    while (at < page.size()) {
        const char c = page[at];
        if (c == '<') {
            const size_t end = page.find('>', at);
            if (end == std::string::npos)
                break;
            std::string tag = page.substr(at + 1, end - at - 1);
            std::string name;
            for (char t : tag) {
                if (t == ' ' || (t == '/' && !name.empty()))
                    break;
                if (t != '/')
                    name += char(tolower(static_cast<unsigned char>(t)));
            }
            if (tag[0] != '/' && (name == "pre" || name == "script" || name == "style" || name == "code")) {
                const size_t close = page.find("</" + name, end);
                at = close == std::string::npos ? page.size() : page.find('>', close) + 1;
                out += '\n';
                continue;
            }
            static const char *const blocks[] = {"p", "div", "li", "h1", "h2", "h3", "h4", "td", "th", "dt", "dd",
                                                 "br", "tr", "title", "table", "ul", "ol", "section"};
            bool block = false;
            for (const char *b : blocks)
                block = block || name == b;
            out += block ? '\n' : ' ';
            at = end + 1;
        } else if (c == '&') {
            const size_t end = page.find(';', at);
            if (end == std::string::npos || end - at > 10) {
                out += c;
                ++at;
                continue;
            }
            appendEntity(out, page.substr(at + 1, end - at - 1));
            at = end + 1;
        } else {
            out += (c == '\n' || c == '\r' || c == '\t') ? ' ' : c;
            ++at;
        }
    }
    return out;
}

// A word's written forms with how often each was seen.
struct Forms {
    std::map<std::string, double> seen;      // forms in the word list, with its counts
    std::map<std::string, double> seenText;  // forms inside sentences of the texts
    double onboard = 0;  // count in the other keyboard's word list
    double text = 0;     // count in the running texts
};

bool plausibleWord(std::string_view word)
{
    if (word.empty() || word.size() > VX_LanguageModel::kMaxWordBytes)
        return false;
    bool hasLetter = false;
    for (size_t at = 0; at < word.size();) {
        int length = 0;
        const uint32_t cp = vxDecodeAt(word, at, length);
        if (!vxIsWordChar(cp) && !vxIsApostrophe(cp))
            return false;
        hasLetter = hasLetter || !(cp >= '0' && cp <= '9');
        at += size_t(length);
    }
    return hasLetter;
}

int usage()
{
    fprintf(stderr, "usage: vexil-model-build --lang L --out FILE --unigrams FILE [--unigram-weight W] "
                    "[--max-words N] [--min-count N] [--text FILE]... [--html FILE]... [--ngrams FILE]...\n");
    return 2;
}

}  // namespace

int main(int argc, char **argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc)
            return usage();
        const std::string value = argv[++i];
        if (arg == "--lang") options.lang = value;
        else if (arg == "--out") options.out = value;
        else if (arg == "--unigrams") options.unigrams = value;
        else if (arg == "--unigram-weight") options.unigramWeight = atof(value.c_str());
        else if (arg == "--max-words") options.maxWords = size_t(atol(value.c_str()));
        else if (arg == "--min-count") options.minCount = uint32_t(atol(value.c_str()));
        else if (arg == "--text") options.texts.push_back(value);
        else if (arg == "--html") options.pages.push_back(value);
        else if (arg == "--ngrams") options.ngrams.push_back(value);
        else return usage();
    }
    if (options.lang.empty() || options.out.empty() || options.unigrams.empty())
        return usage();

    std::unordered_map<std::string, Forms> words;  // lower form -> forms and counts
    double onboardTotal = 0, textTotal = 0;

    std::string listText;
    if (!readFile(options.unigrams, listText)) {
        fprintf(stderr, "vexil-model-build: cannot read %s\n", options.unigrams.c_str());
        return 1;
    }
    {
        std::istringstream in(listText);
        std::string line;
        bool inUnigrams = false;
        while (std::getline(in, line)) {
            if (line.rfind("\\", 0) == 0) {
                inUnigrams = line == "\\1-grams:";
                continue;
            }
            if (!inUnigrams || line.empty())
                continue;
            const size_t space = line.find(' ');
            if (space == std::string::npos)
                continue;
            const double count = atof(line.c_str());
            const std::string form = line.substr(space + 1);
            if (count <= 0 || !plausibleWord(form))
                continue;
            Forms &entry = words[vxLowerText(form)];
            entry.seen[form] += count;
            entry.onboard += count;
            onboardTotal += count;
        }
    }

    // Running texts: word, pair and triple counts over word ids of this run.
    std::unordered_map<std::string, uint32_t> textIds;
    std::vector<std::string> textWords;
    std::unordered_map<uint64_t, uint32_t> pairs;
    std::unordered_map<std::string, uint32_t> triples;  // three ids packed in 12 bytes
    auto idOf = [&](const std::string &lower) {
        const auto it = textIds.emplace(lower, uint32_t(textWords.size() + 1));
        if (it.second)
            textWords.push_back(lower);
        return it.first->second;
    };
    auto countText = [&](const std::string &text) {
        uint32_t before[2] = {0, 0};  // 0: the sentence start
        int known = 0;
        vxForEachWord(text, false, [&](std::string_view word, bool sentenceStart) {
            const std::string lower = vxLowerText(word);
            if (sentenceStart)
                known = 0, before[0] = before[1] = 0;
            Forms &entry = words[lower];
            entry.text += 1;
            textTotal += 1;
            // Case is learned where it is not forced by the sentence start.
            if (!sentenceStart)
                entry.seenText[std::string(word)] += 1;
            const uint32_t id = idOf(lower);
            const uint32_t v = known >= 1 ? before[1] : 0;
            ++pairs[(uint64_t(v) << 32) | id];
            if (known >= 1) {
                const uint32_t u = known >= 2 ? before[0] : 0;
                uint32_t packed[3] = {u, v, id};
                ++triples[std::string(reinterpret_cast<const char *>(packed), sizeof packed)];
            }
            before[0] = before[1];
            before[1] = id;
            if (known < 2)
                ++known;
        }, vxSemicolonEndsSentence(options.lang));
    };
    for (const std::string &path : options.texts) {
        std::string text;
        if (!readFile(path, text)) {
            fprintf(stderr, "vexil-model-build: cannot read %s\n", path.c_str());
            return 1;
        }
        countText(joinWrappedLines(text));
    }
    for (const std::string &path : options.pages) {
        std::string page;
        if (!readFile(path, page)) {
            fprintf(stderr, "vexil-model-build: cannot read %s\n", path.c_str());
            return 1;
        }
        countText(htmlText(page));
    }

    for (const std::string &path : options.ngrams) {
        std::string table;
        if (!readFile(path, table)) {
            fprintf(stderr, "vexil-model-build: cannot read %s\n", path.c_str());
            return 1;
        }
        std::istringstream in(table);
        std::string line;
        while (std::getline(in, line)) {
            std::vector<std::string> fields;
            std::istringstream parts(line);
            std::string field;
            while (std::getline(parts, field, '|'))
                fields.push_back(field);
            if (fields.size() < 2 || fields.size() > 4)
                continue;
            const uint32_t count = uint32_t(strtoul(fields.back().c_str(), nullptr, 10));
            bool plausible = count > 0;
            for (size_t i = 0; i + 1 < fields.size(); ++i)
                plausible = plausible && plausibleWord(fields[i]);
            if (!plausible)
                continue;
            uint32_t ids[3];
            for (size_t i = 0; i + 1 < fields.size(); ++i)
                ids[i] = idOf(vxLowerText(fields[i]));
            if (fields.size() == 2) {
                Forms &entry = words[vxLowerText(fields[0])];
                entry.text += count;
                textTotal += count;
            } else if (fields.size() == 3) {
                pairs[(uint64_t(ids[0]) << 32) | ids[1]] += count;
            } else {
                triples[std::string(reinterpret_cast<const char *>(ids), sizeof ids)] += count;
            }
        }
    }

    // Word frequencies: the word list and the texts mixed, each as a share.
    struct Scored {
        std::string lower;
        double p;
    };
    std::vector<Scored> scored;
    for (const auto &[lower, entry] : words) {
        if (!plausibleWord(lower))
            continue;
        if (entry.onboard == 0 && entry.text < options.minTextWord)
            continue;
        double p = 0;
        if (onboardTotal > 0)
            p += options.unigramWeight * entry.onboard / onboardTotal;
        if (textTotal > 0)
            p += (onboardTotal > 0 ? 1 - options.unigramWeight : 1.0) * entry.text / textTotal;
        if (p > 0)
            scored.push_back({lower, p});
    }
    std::sort(scored.begin(), scored.end(),
              [](const Scored &a, const Scored &b) { return a.p > b.p || (a.p == b.p && a.lower < b.lower); });
    if (scored.size() > options.maxWords)
        scored.resize(options.maxWords);
    std::unordered_map<std::string, uint32_t> finalId;
    for (size_t i = 0; i < scored.size(); ++i)
        finalId[scored[i].lower] = uint32_t(i + 1);
    std::vector<uint32_t> textToFinal(textWords.size() + 1, 0xFFFFFFFFu);
    textToFinal[0] = 0;
    for (size_t i = 0; i < textWords.size(); ++i) {
        const auto it = finalId.find(textWords[i]);
        if (it != finalId.end())
            textToFinal[i + 1] = it->second;
    }

    // The written form: the lower-case one unless it is rare beside a
    // capitalised one (names, "I", German nouns).
    auto writtenForm = [&](const std::string &lower) {
        const Forms &entry = words[lower];
        std::string best = lower;
        double bestCount = -1, lowerCount = 0;
        const auto &seen = entry.onboard > 0 ? entry.seen : entry.seenText;
        for (const auto &[form, count] : seen) {
            if (form == lower)
                lowerCount = count;
            if (count > bestCount)
                best = form, bestCount = count;
        }
        if (seen.empty() || lowerCount >= 0.25 * bestCount)
            return lower;
        return best;
    };

    // Pairs and triples by context, with the totals before pruning.
    std::map<uint32_t, std::pair<uint64_t, std::map<uint32_t, uint32_t>>> bigrams;
    double n1 = 0, n2 = 0;
    for (const auto &[key, count] : pairs) {
        const uint32_t v = textToFinal[key >> 32], w = textToFinal[key & 0xFFFFFFFFu];
        if (v == 0xFFFFFFFFu)
            continue;
        auto &context = bigrams[v];
        context.first += count;
        if (count == 1) n1 += 1;
        if (count == 2) n2 += 1;
        if (w != 0xFFFFFFFFu && count >= options.minCount)
            context.second[w] += count;
    }
    const double discount2 = n1 + 2 * n2 > 0 ? n1 / (n1 + 2 * n2) : 0.75;
    std::map<uint64_t, std::pair<uint64_t, std::map<uint32_t, uint32_t>>> trigrams;
    n1 = n2 = 0;
    for (const auto &[key, count] : triples) {
        uint32_t packed[3];
        memcpy(packed, key.data(), sizeof packed);
        const uint32_t u = textToFinal[packed[0]], v = textToFinal[packed[1]], w = textToFinal[packed[2]];
        if (u == 0xFFFFFFFFu || v == 0xFFFFFFFFu)
            continue;
        auto &context = trigrams[(uint64_t(u) << 32) | v];
        context.first += count;
        if (count == 1) n1 += 1;
        if (count == 2) n2 += 1;
        if (w != 0xFFFFFFFFu && count >= options.minCount)
            context.second[w] += count;
    }
    const double discount3 = n1 + 2 * n2 > 0 ? n1 / (n1 + 2 * n2) : 0.75;

    std::string out = "vexil-lm 1 " + options.lang + "\n";
    auto permille = [](double d) { return std::clamp(int(std::lround(d * 1000)), 1, 999); };
    out += "discounts " + std::to_string(permille(discount2)) + " " + std::to_string(permille(discount3)) + "\n";
    out += "words " + std::to_string(scored.size()) + "\n";
    for (const Scored &s : scored) {
        const uint64_t count = std::max<uint64_t>(1, uint64_t(std::llround(s.p * 1e9)));
        out += std::to_string(count) + " " + writtenForm(s.lower) + "\n";
    }
    size_t kept = 0;
    for (const auto &entry : bigrams)
        kept += entry.second.second.empty() ? 0 : 1;
    out += "bigrams " + std::to_string(kept) + "\n";
    for (const auto &[v, context] : bigrams) {
        if (context.second.empty())
            continue;
        out += std::to_string(v) + " " + std::to_string(context.first);
        for (const auto &[w, count] : context.second)
            out += " " + std::to_string(w) + ":" + std::to_string(count);
        out += "\n";
    }
    kept = 0;
    for (const auto &entry : trigrams)
        kept += entry.second.second.empty() ? 0 : 1;
    out += "trigrams " + std::to_string(kept) + "\n";
    for (const auto &[key, context] : trigrams) {
        if (context.second.empty())
            continue;
        out += std::to_string(key >> 32) + " " + std::to_string(key & 0xFFFFFFFFu) + " " +
               std::to_string(context.first);
        for (const auto &[w, count] : context.second)
            out += " " + std::to_string(w) + ":" + std::to_string(count);
        out += "\n";
    }

    // Written whole to a temporary name, then moved over the old model.
    const std::string temp = options.out + ".tmp";
    {
        std::ofstream file(temp, std::ios::binary | std::ios::trunc);
        file << out;
        if (!file.flush()) {
            fprintf(stderr, "vexil-model-build: cannot write %s\n", temp.c_str());
            return 1;
        }
    }
    VX_LanguageModel check;
    if (!check.load(temp)) {
        fprintf(stderr, "vexil-model-build: the model written does not load back\n");
        return 1;
    }
    if (rename(temp.c_str(), options.out.c_str()) != 0) {
        perror("vexil-model-build: rename");
        return 1;
    }
    fprintf(stderr, "vexil-model-build: %s: %zu words, %zu bytes, %zu bytes in memory, discounts %.3f %.3f\n",
            options.out.c_str(), scored.size(), out.size(), check.memoryBytes(), discount2, discount3);
    return 0;
}
