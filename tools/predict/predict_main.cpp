// vexil-predict: word suggestions for scripts and measurement. Each line read
// from standard input is the whole text before the cursor; each is answered
// at once with one line: the suggestions separated by tabs, most likely
// first, or an empty line when there are none.
//
//   vexil-predict --lang en [--suggestions N] [--learn | --no-learn]
//                 [--user-data FILE] [--model FILE]
//   vexil-predict --lang en --forget WORD [--user-data FILE]
//
// With --learn the complete words of each text are learned as they come (in
// memory, and into the user data file at the end when one is named). Without
// --user-data nothing is read or written but the model.
#include "base/VX_Log.h"
#include "prediction/VX_LanguageModel.h"
#include "prediction/VX_Predictor.h"
#include "prediction/VX_Words.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

namespace {

int usage()
{
    fprintf(stderr, "usage: vexil-predict --lang LANG [--suggestions N] [--learn | --no-learn] "
                    "[--user-data FILE] [--model FILE]\n"
                    "       vexil-predict --lang LANG --forget WORD [--user-data FILE]\n");
    return 2;
}

// Longest input line answered (bytes); the text before a cursor longer than
// this is read from its end.
constexpr size_t kMaxLineBytes = 1u << 20;

}  // namespace

int main(int argc, char **argv)
{
    vxLog.stream = stderr;  // standard output carries only the answers
    std::string language, userData, modelPath, forgetWord;
    size_t suggestions = VX_Predictor::kDefaultSuggestions;
    bool learn = false, forget = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string &out) {
            if (i + 1 >= argc)
                return false;
            out = argv[++i];
            return true;
        };
        std::string number;
        if (arg == "--help") {
            printf("usage: vexil-predict --lang LANG [--suggestions N] [--learn | --no-learn] "
                   "[--user-data FILE] [--model FILE]\n"
                   "       vexil-predict --lang LANG --forget WORD [--user-data FILE]\n"
                   "Answers each line of standard input (the text before a cursor) with the suggested\n"
                   "words, tab-separated, most likely first; an empty line when there is none.\n");
            return 0;
        } else if (arg == "--lang") {
            if (!value(language))
                return usage();
        } else if (arg == "--suggestions") {
            if (!value(number))
                return usage();
            char *end = nullptr;
            const long n = strtol(number.c_str(), &end, 10);
            if (number.empty() || *end || n < 1 || n > long(VX_Predictor::kMaxSuggestions)) {
                fprintf(stderr, "vexil-predict: --suggestions takes a number from 1 to %zu\n",
                        VX_Predictor::kMaxSuggestions);
                return 2;
            }
            suggestions = size_t(n);
        } else if (arg == "--learn") {
            learn = true;
        } else if (arg == "--no-learn") {
            learn = false;
        } else if (arg == "--user-data") {
            if (!value(userData))
                return usage();
        } else if (arg == "--model") {
            if (!value(modelPath))
                return usage();
        } else if (arg == "--forget") {
            if (!value(forgetWord))
                return usage();
            forget = true;
        } else {
            return usage();
        }
    }
    if (language.empty())
        return usage();

    if (forget) {
        // Forgetting changes the user's own file: the one named, else the
        // file the panel keeps for this language.
        const std::string path = userData.empty() ? VX_UserModel::defaultPath(language) : userData;
        if (path.empty()) {
            fprintf(stderr, "vexil-predict: no folder for learned words (set HOME or XDG_DATA_HOME)\n");
            return 1;
        }
        VX_UserModel user;
        user.load(path, language);
        user.forget(forgetWord);
        return user.save(path) ? 0 : 1;
    }

    if (modelPath.empty())
        modelPath = VX_LanguageModel::findFile(language);
    if (modelPath.empty()) {
        fprintf(stderr, "vexil-predict: no model for the language \"%s\"\n", language.c_str());
        return 1;
    }
    VX_LanguageModel model;
    if (!model.load(modelPath))
        return 1;
    VX_Predictor predictor(model);
    if (!userData.empty())
        predictor.user().load(userData, language);

    // What has been learned already: a text that goes on from it teaches
    // only its new complete words; any other text is a new one.
    std::string learnedText;
    std::string line;
    while (std::getline(std::cin, line)) {
        if (line.size() > kMaxLineBytes)
            line.erase(0, line.size() - kMaxLineBytes);
        if (learn) {
            // The complete words: everything up to the last character that
            // is no part of a word.
            size_t end = line.size();
            const VX_CursorContext context = vxCursorContext(line);
            end -= context.prefix.size();
            if (line.compare(0, learnedText.size(), learnedText) == 0) {
                if (end > learnedText.size()) {
                    // Learn the new words with their context before them.
                    const std::string before = learnedText;
                    std::string part = line.substr(0, end);
                    size_t start = before.size();
                    vxForEachWord(std::string_view(part).substr(start), true,
                                  [&](std::string_view word, bool) {
                                      const size_t at = size_t(word.data() - part.data());
                                      predictor.learnWord(std::string_view(part).substr(0, at), word);
                                  });
                    learnedText = part;
                }
            } else {
                learnedText = line.substr(0, end);
                predictor.learnText(learnedText);
            }
        }
        const std::vector<std::string> words = predictor.predict(line, suggestions);
        std::string answer;
        for (size_t i = 0; i < words.size(); ++i) {
            if (i)
                answer += '\t';
            answer += words[i];
        }
        answer += '\n';
        fwrite(answer.data(), 1, answer.size(), stdout);
        fflush(stdout);
    }
    if (learn && !userData.empty() && predictor.user().changed())
        return predictor.user().save(userData) ? 0 : 1;
    return 0;
}
