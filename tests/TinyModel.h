// A small English model for the prediction tests, written out in the model
// file format: its frequencies and contexts are chosen so that each level
// (trigram, bigram, word frequency) ranks the words differently, and a test
// can tell which level decided.
#ifndef VEXIL_TESTS_TINYMODEL_H
#define VEXIL_TESTS_TINYMODEL_H

// Ids: 1 the, 2 I, 3 to, 4 they, 5 then, 6 café, 7 thinking, 8 house,
// 9 Monday, 10 about, 11 garden.
// After "the": café before house; after "to the": house; after "I":
// thinking; at a sentence start: I, then the.
inline constexpr const char *kTinyModel =
    "vexil-lm 1 en\n"
    "discounts 500 500\n"
    "words 11\n"
    "1000 the\n"
    "800 I\n"
    "500 to\n"
    "400 they\n"
    "300 then\n"
    "200 café\n"
    "100 thinking\n"
    "50 house\n"
    "40 Monday\n"
    "30 about\n"
    "20 garden\n"
    "bigrams 3\n"
    "0 100 1:30 2:60\n"
    "1 50 6:30 8:10\n"
    "2 50 7:40\n"
    "trigrams 1\n"
    "3 1 30 8:20 11:5\n";

#endif
