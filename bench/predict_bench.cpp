// `make bench-predict`: keystrokes saved by vexil's word suggestions and, side
// by side on the same texts, by presage with its own data (where it has a
// model for the language), on the evaluation texts of bench/texts, which no
// model is built from. Also the gain from learning over the English text,
// the time of one prediction (median and 99th percentile, in this process)
// and the memory of a loaded model.
//
// The measure: the text is lower-cased; its words are the runs of letters
// and digits (an apostrophe inside a word belongs to it). For each word, one
// keystroke per letter typed until the word is among the N suggestions
// shown for the text before the cursor, then one to choose it (its space
// included); a word typed whole costs one more for its space. Savings =
// 1 - keystrokes / (the words' letters + one space each).
#include "prediction/VX_LanguageModel.h"
#include "prediction/VX_Predictor.h"
#include "prediction/VX_TextFold.h"
#include "prediction/VX_Words.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <malloc.h>
#include <unistd.h>
#include <vector>

#ifdef VEXIL_HAVE_PRESAGE
#include <presage.h>
#endif

namespace {

constexpr size_t kSuggestions = 3;

using Predict = std::function<std::vector<std::string>(const std::string &before)>;

struct Savings {
    size_t words = 0;
    size_t keystrokes = 0;  // with suggestions
    size_t full = 0;        // letters and spaces without
    double percent() const { return full ? 100.0 * (1.0 - double(keystrokes) / double(full)) : 0.0; }
};

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

// Byte offsets of the characters of `word`, and its end.
std::vector<size_t> charEnds(std::string_view word)
{
    std::vector<size_t> ends;
    for (size_t at = 0; at < word.size();) {
        int length = 0;
        vxDecodeAt(word, at, length);
        at += size_t(length);
        ends.push_back(at);
    }
    return ends;
}

// Runs the measure over `text` with `predict`; `learned` (when set) is told
// each word once it is typed, with the text before it.
Savings measure(const std::string &original, const Predict &predict,
                const std::function<void(const std::string &before, std::string_view word)> &learned)
{
    const std::string text = vxLowerText(original);
    struct Word {
        size_t at, size;
    };
    std::vector<Word> words;
    vxForEachWord(text, false, [&](std::string_view word, bool) {
        words.push_back({size_t(word.data() - text.data()), word.size()});
    });
    Savings savings;
    for (const Word &w : words) {
        const std::string_view word = std::string_view(text).substr(w.at, w.size);
        const std::vector<size_t> ends = charEnds(word);
        const size_t letters = ends.size();
        size_t cost = letters + 1;
        for (size_t typed = 0; typed < letters; ++typed) {
            const std::string before = text.substr(0, w.at + (typed ? ends[typed - 1] : 0));
            const std::vector<std::string> shown = predict(before);
            bool found = false;
            for (const std::string &s : shown)
                found = found || vxLowerText(s) == word;
            if (found) {
                cost = typed + 1;
                break;
            }
        }
        savings.keystrokes += cost;
        savings.full += letters + 1;
        ++savings.words;
        if (learned)
            learned(text.substr(0, w.at), word);
    }
    return savings;
}

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t i = std::min(values.size() - 1, size_t(p * double(values.size() - 1) + 0.5));
    return values[i];
}

// Bytes the allocator has handed out and not taken back.
size_t heapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

Predict timed(Predict inner, std::vector<double> &times)
{
    return [inner = std::move(inner), &times](const std::string &before) {
        const auto start = std::chrono::steady_clock::now();
        std::vector<std::string> result = inner(before);
        times.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
        return result;
    };
}

#ifdef VEXIL_HAVE_PRESAGE
// presage asks for the text before the cursor through a callback.
struct PresageText {
    std::string before;
};
const char *presagePast(void *arg) { return static_cast<PresageText *>(arg)->before.c_str(); }
const char *presageFuture(void *) { return ""; }

// presage with its own n-gram data for `language`, learning nothing.
struct PresagePeer {
    presage_t handle = nullptr;
    PresageText text;

    bool open(const std::string &language)
    {
        const std::string db = "/usr/share/presage/database_" + language + ".db";
        if (access(db.c_str(), R_OK) != 0)
            return false;
        if (presage_new(presagePast, &text, presageFuture, nullptr, &handle) != PRESAGE_OK)
            return false;
        presage_config_set(handle, "Presage.PredictorRegistry.PREDICTORS", "DefaultSmoothedNgramPredictor");
        presage_config_set(handle, "Presage.Predictors.DefaultSmoothedNgramPredictor.DBFILENAME", db.c_str());
        presage_config_set(handle, "Presage.Predictors.DefaultSmoothedNgramPredictor.LEARN", "false");
        presage_config_set(handle, "Presage.ContextTracker.ONLINE_LEARNING", "no");
        presage_config_set(handle, "Presage.Selector.SUGGESTIONS", std::to_string(kSuggestions).c_str());
        presage_config_set(handle, "Presage.Selector.REPEAT_SUGGESTIONS", "yes");
        return true;
    }
    ~PresagePeer()
    {
        if (handle)
            presage_free(handle);
    }
    std::vector<std::string> predict(const std::string &before)
    {
        text.before = before;
        char **result = nullptr;
        std::vector<std::string> words;
        if (presage_predict(handle, &result) != PRESAGE_OK || !result)
            return words;
        for (char **r = result; *r; ++r)
            words.push_back(*r);
        presage_free_string_array(result);
        return words;
    }
};
#endif

}  // namespace

int main(int argc, char **argv)
{
    // --only LANG measures one language; --no-peer leaves presage out;
    // --models DIR reads the models of another folder (when trying a new
    // build of them).
    std::string source = VEXIL_BENCH_SOURCE_DIR, models = VEXIL_BENCH_MODEL_DIR, only;
    bool peer = true;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--only" && i + 1 < argc)
            only = argv[++i];
        else if (arg == "--models" && i + 1 < argc)
            models = argv[++i];
        else if (arg == "--no-peer")
            peer = false;
        else {
            fprintf(stderr, "usage: vexil_predict_bench [--only LANG] [--no-peer] [--models DIR]\n");
            return 2;
        }
    }
    std::vector<const char *> languages;
    for (const char *language : {"en", "de", "fr", "es", "el", "ru"}) {
        if (only.empty() || only == language)
            languages.push_back(language);
    }

    printf("Keystroke savings with %zu suggestions (higher is better), evaluation texts of bench/texts\n\n",
           kSuggestions);
    printf("%-5s %6s %12s %12s %10s\n", "lang", "words", "vexil", "presage", "vexil-pres");
    std::vector<double> vexilTimes, presageTimes;
    std::string english;
    for (const char *language : languages) {
        const std::string text = readFile(source + "/bench/texts/" + language + ".txt");
        if (language == std::string("en"))
            english = text;
        VX_LanguageModel model;
        if (text.empty() || !model.load(models + "/" + language + ".vxlm")) {
            printf("%-5s (no text or no model)\n", language);
            continue;
        }
        VX_Predictor predictor(model);
        const Savings ours = measure(
            text,
            timed([&](const std::string &before) { return predictor.predict(before, kSuggestions); }, vexilTimes),
            nullptr);
        std::string theirs = "-", difference = "-";
#ifdef VEXIL_HAVE_PRESAGE
        PresagePeer presage;
        if (peer && presage.open(language)) {
            const Savings peer = measure(
                text, timed([&](const std::string &before) { return presage.predict(before); }, presageTimes),
                nullptr);
            char buffer[32];
            snprintf(buffer, sizeof buffer, "%.1f %%", peer.percent());
            theirs = buffer;
            snprintf(buffer, sizeof buffer, "%+.1f", ours.percent() - peer.percent());
            difference = buffer;
        }
#endif
        printf("%-5s %6zu %10.1f %% %12s %10s\n", language, ours.words, ours.percent(), theirs.c_str(),
               difference.c_str());
    }

    // Learning: the English text typed once with learning on from an empty
    // user model, against the same text without.
    if (!english.empty()) {
        VX_LanguageModel model;
        if (model.load(models + "/en.vxlm")) {
            VX_Predictor plain(model), learning(model);
            const Savings without = measure(
                english, [&](const std::string &before) { return plain.predict(before, kSuggestions); }, nullptr);
            const Savings with = measure(
                english, [&](const std::string &before) { return learning.predict(before, kSuggestions); },
                [&](const std::string &before, std::string_view word) { learning.learnWord(before, word); });
            printf("\nLearning while typing the English text (%zu words): %.1f %% -> %.1f %% (%+.1f points)\n",
                   with.words, without.percent(), with.percent(), with.percent() - without.percent());
        }
    }

    printf("\nTime of one prediction (microseconds, in this process):\n");
    printf("  %-8s median %7.1f   p99 %8.1f   (%zu predictions)\n", "vexil", percentile(vexilTimes, 0.5),
           percentile(vexilTimes, 0.99), vexilTimes.size());
    if (!presageTimes.empty())
        printf("  %-8s median %7.1f   p99 %8.1f   (%zu predictions)\n", "presage", percentile(presageTimes, 0.5),
               percentile(presageTimes, 0.99), presageTimes.size());

    printf("\nMemory of one loaded model and its predictor (heap in use after loading and one prediction):\n");
    for (const char *language : languages) {
        const size_t before = heapInUse();
        auto model = std::make_unique<VX_LanguageModel>();
        if (!model->load(models + "/" + language + ".vxlm"))
            continue;
        auto predictor = std::make_unique<VX_Predictor>(*model);
        predictor->predict("th", kSuggestions);
        printf("  %-3s vexil   %5.1f MiB\n", language, double(heapInUse() - before) / 1048576.0);
    }
#ifdef VEXIL_HAVE_PRESAGE
    for (const char *language : languages) {
        if (!peer)
            break;
        const size_t before = heapInUse();
        auto presage = std::make_unique<PresagePeer>();
        if (!presage->open(language))
            continue;
        presage->predict("th");
        printf("  %-3s presage %5.1f MiB\n", language, double(heapInUse() - before) / 1048576.0);
    }
#endif
    return 0;
}
