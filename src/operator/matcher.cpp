#include "operator/matcher.h"

// Matches one typed word against one entry. Returns 0 for no match, 1 for an
// abbreviation, 2 for an exact match made with "*", 3 for a literal exact
// match. *end receives the index just past the typed word.
static int match_entry(const char *text, int start, const char *entry, int *end) {
    int ti = start;
    int ei = 0;
    bool exact = true;
    bool literal = true;
    for (;;) {
        char c = text[ti];
        char e = entry[ei];
        if (ends_word(c)) {
            *end = ti;
            if (exact && (e == ' ' || e == '\0'))
                return literal ? 3 : 2;
            return 1;
        }
        if (e == ' ' || e == '\0')
            return 0;
        if (e == c) {
            ++ti;
            ++ei;
            continue;
        }
        if (c == '.' || c == ':') {
            while (entry[ei] != '.' && entry[ei] != ':') {
                if (entry[ei] == ' ' || entry[ei] == '\0')
                    return 0;
                ++ei;
            }
            ++ei;
            ++ti;
            exact = false;
            continue;
        }
        if (e == '-')
            return 0;
        if (c == '*') {
            ++ti;
            ++ei;
            literal = false;
            continue;
        }
        if (c == '-') {
            while (entry[ei] != '-') {
                if (entry[ei] == ' ' || entry[ei] == '\0')
                    return 0;
                ++ei;
            }
            exact = false;
            continue;
        }
        return 0;
    }
}

int match_command(const char *text, int start, const char *const *table, int *index,
                  int *terminator, int *end) {
    if (ends_word(text[start])) {
        *end = start;
        *terminator = text[start];
        return MATCH_EMPTY;
    }
    int literal_count = 0, literal_index = -1;
    int exact_count = 0, exact_index = -1;
    int match_count = 0, last_index = -1;
    int word_end = start;
    for (int i = 0; table[i]; ++i) {
        int entry_end = start;
        int kind = match_entry(text, start, table[i], &entry_end);
        if (kind == 0)
            continue;
        word_end = entry_end;
        ++match_count;
        last_index = i;
        if (kind >= 2) {
            if (exact_index < 0)
                exact_index = i;
            ++exact_count;
        }
        if (kind == 3) {
            if (literal_index < 0)
                literal_index = i;
            ++literal_count;
        }
    }
    if (match_count == 0) {
        *end = start;
        *terminator = text[start];
        return MATCH_NONE;
    }
    *end = word_end;
    *terminator = text[word_end];
    if (literal_count == 1) {
        *index = literal_index;
        return MATCH_EXACT;
    }
    if (exact_count == 1) {
        *index = exact_index;
        return MATCH_EXACT;
    }
    *index = last_index;
    return match_count == 1 ? MATCH_ABBREVIATION : MATCH_AMBIGUOUS;
}
