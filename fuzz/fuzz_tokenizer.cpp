// Fuzz target for the tokenizer alone. The first two bytes of the input are
// a flag script: request i uses bit (2i mod 16) as allowParens and bit
// (2i+1 mod 16) as allowNumbers. The rest is the file that is tokenized to
// its end. Every token is checked against what the tokenizer promises; a
// broken promise stops the run.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/VX_LogRedirect.h"
#include "config/VX_Parser.h"
#include "fuzz/FuzzFiles.h"

namespace {

FuzzDir *scratch;
// Where the diagnostics of broken input go: expected output, not news.
FILE *quietSink;

void check(bool promise, const char *what)
{
    if (!promise) {
        std::fprintf(stderr, "tokenizer broke its promise: %s\n", what);
        std::abort();
    }
}

bool inBuffer(const VX_Parser &in, const char *p)
{
    return p >= in.buffer && p < in.buffer + VX_Input::kLineSize;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    scratch = new FuzzDir;
    quietSink = std::fopen("/dev/null", "w");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const unsigned script = data[0] | (unsigned(data[1]) << 8);
    const uint8_t *file = data + 2;
    const size_t fileSize = size - 2;
    VX_LogRedirect quiet(quietSink);
    scratch->clear();
    if (!scratch->write("t.cfg", file, fileSize))
        return 0;
    size_t lines = 1;
    for (size_t i = 0; i < fileSize; ++i)
        lines += file[i] == '\n';

    VX_Parser in;
    std::string path = scratch->path() + "/t.cfg";
    check(in.open(path.c_str()), "open of an existing file");
    // Every token but END uses up at least one byte of the file.
    const size_t maxRequests = fileSize + 2;
    for (size_t request = 0;; ++request) {
        check(request <= maxRequests, "the file ends in a bounded number of tokens");
        const unsigned bit = (2 * request) % 16;
        const bool parens = (script >> bit) & 1;
        const bool numbers = (script >> (bit + 1)) & 1;
        VX_Token token;
        token.kind = -1;
        const auto mode = static_cast<VX_TokenMode>((parens ? VX_READ_PARENS : 0) |
                                                    (numbers ? VX_READ_NUMBERS : 0));
        bool ok = in.nextToken(token, mode);
        check(in.lineCount <= lines, "line count within the file's lines");
        if (!ok) {
            check(token.kind == VX_TOKEN_NONE, "a failed request leaves kind NONE");
            break;
        }
        check(inBuffer(in, in.cursor) || *in.cursor == '\0', "cursor inside the line");
        switch (token.kind) {
        case VX_TOKEN_END:
            check(in.atEnd && in.lineLength == 0, "END only at the end of the file");
            break;
        case VX_TOKEN_WORD:
            check(inBuffer(in, token.text), "word inside the line buffer");
            check(token.length >= 1 && std::strlen(token.text) == token.length,
                  "word length matches its text");
            check(!std::strpbrk(token.text, " \t"), "no blank inside a word");
            check(!(numbers && token.text[0] >= '0' && token.text[0] <= '9'),
                  "digits make a number when numbers are allowed");
            check(!(parens && (token.text[0] == '(' || token.text[0] == ')')),
                  "parentheses make their own token when allowed");
            check(!(token.text == in.buffer && token.text[0] == '['),
                  "'[' in the first column makes a section");
            break;
        case VX_TOKEN_SECTION:
            check(token.text == in.buffer + 1, "section starts in the first column");
            check(std::strlen(token.text) == token.length, "section length matches its text");
            check(!std::strchr(token.text, ']'), "section ends at the first ']'");
            break;
        case VX_TOKEN_NUMBER:
            check(numbers, "numbers only when allowed");
            check(token.value >= 0, "numbers have no sign");
            break;
        case VX_TOKEN_OPEN:
        case VX_TOKEN_CLOSE:
            check(parens, "parentheses only when allowed");
            break;
        default:
            check(false, "a known kind after success");
        }
        if (token.kind == VX_TOKEN_END)
            break;
    }
    in.close();
    return 0;
}
