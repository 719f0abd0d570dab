#include "host/line_editor.h"

#include "host/host.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <histedit.h>
#include <unistd.h>

namespace {

const char HISTORY_FILE[] = ".kestrel_history";
constexpr int HISTORY_SIZE = 500;

struct LineEditor {
    EditLine *editor = nullptr;
    History *history = nullptr;
    HistEvent event{};
    std::string prompt;
    std::vector<std::string> completions;
    bool interrupted = false;
};

LineEditor line_editor;

const char *current_prompt(EditLine *) { return line_editor.prompt.c_str(); }

// ^C while editing: the terminal's signal keys are off inside the editor, so
// that a ^C typed right after other keys is never lost; it ends the line.
unsigned char interrupt_line(EditLine *, int) {
    line_editor.interrupted = true;
    return CC_EOF;
}

// ^Z while editing is a key (the terminal's signal keys are off): it stops
// KESTREL as the terminal's ^Z would, and the line is shown again after.
unsigned char suspend_editing(EditLine *, int) {
    host_suspend();
    return CC_REDISPLAY;
}

// Keys come through the host layer's reader, so that the end of input (a
// terminal that hung up) and a termination signal end the line, and the
// keys are taken byte by byte as everywhere else.
int read_editor_key(EditLine *, wchar_t *key) {
    for (;;) {
        int byte = host_read_byte(-1);
        if (byte >= 0) {
            *key = static_cast<wchar_t>(byte);
            return 1;
        }
        if (byte == HOST_EOF)
            return 0;
        if (byte == HOST_INTERRUPTED) {
            errno = EINTR;
            return -1;
        }
    }
}

unsigned char complete_command(EditLine *editor, int) {
    const LineInfo *info = el_line(editor);
    std::string typed(info->buffer, static_cast<size_t>(info->cursor - info->buffer));
    if (typed.find_first_of(" ,") != std::string::npos)
        return CC_ERROR;
    std::vector<std::string> matches;
    std::string extension = complete_word(typed, line_editor.completions, &matches);
    if (matches.empty())
        return CC_ERROR;
    if (!extension.empty()) {
        el_insertstr(editor, extension.c_str());
        return CC_REDISPLAY;
    }
    if (matches.size() == 1)
        return CC_NORM;
    std::fputs("\r\n", stdout);
    for (const auto &match : matches)
        std::printf("%s  ", match.c_str());
    std::fputs("\r\n", stdout);
    return CC_REDISPLAY;
}

bool start_editor() {
    if (line_editor.editor)
        return true;
    line_editor.editor = el_init("kestrel", stdin, stdout, stderr);
    if (!line_editor.editor)
        return false;
    line_editor.history = history_init();
    history(line_editor.history, &line_editor.event, H_SETSIZE, HISTORY_SIZE);
    history(line_editor.history, &line_editor.event, H_SETUNIQUE, 1);
    history(line_editor.history, &line_editor.event, H_LOAD, HISTORY_FILE);
    el_set(line_editor.editor, EL_SIGNAL, 0);
    el_set(line_editor.editor, EL_EDITOR, "emacs");
    el_set(line_editor.editor, EL_PROMPT, current_prompt);
    el_set(line_editor.editor, EL_HIST, history, line_editor.history);
    el_set(line_editor.editor, EL_ADDFN, "kestrel-complete", "complete a command name",
           complete_command);
    el_set(line_editor.editor, EL_BIND, "^I", "kestrel-complete", nullptr);
    el_set(line_editor.editor, EL_SETTY, "-d", "-isig", nullptr);
    el_set(line_editor.editor, EL_ADDFN, "kestrel-interrupt", "discard the line", interrupt_line);
    el_set(line_editor.editor, EL_BIND, "^C", "kestrel-interrupt", nullptr);
    el_set(line_editor.editor, EL_ADDFN, "kestrel-suspend", "stop KESTREL", suspend_editing);
    el_set(line_editor.editor, EL_BIND, "^Z", "kestrel-suspend", nullptr);
    el_set(line_editor.editor, EL_GETCFN, read_editor_key);
    return true;
}

}  // namespace

bool line_editor_available() { return isatty(STDIN_FILENO) && isatty(STDOUT_FILENO); }

void line_editor_set_completions(const std::vector<std::string> &words) {
    line_editor.completions = words;
}

std::string complete_word(const std::string &prefix, const std::vector<std::string> &words,
                          std::vector<std::string> *matches) {
    matches->clear();
    for (const auto &word : words)
        if (word.compare(0, prefix.size(), prefix) == 0)
            matches->push_back(word);
    if (matches->empty())
        return "";
    std::string common = (*matches)[0];
    for (const auto &match : *matches) {
        size_t n = 0;
        while (n < common.size() && n < match.size() && common[n] == match[n])
            ++n;
        common.resize(n);
    }
    std::string extension = common.substr(prefix.size());
    if (matches->size() == 1)
        extension += ' ';
    return extension;
}

int line_editor_read(const char *prompt, char *buffer, int size) {
    buffer[0] = '\0';
    if (!start_editor())
        return LINE_EDITOR_END;
    line_editor.prompt = prompt;
    int count = 0;
    errno = 0;
    line_editor.interrupted = false;
    const char *line = el_gets(line_editor.editor, &count);
    if (line_editor.interrupted)
        return LINE_EDITOR_INTERRUPTED;
    if (!line)
        return count < 0 && errno == EINTR ? LINE_EDITOR_INTERRUPTED : LINE_EDITOR_END;
    int length = 0;
    for (int i = 0; line[i] && line[i] != '\n' && line[i] != '\r'; ++i) {
        if (length < size - 1)
            buffer[length++] = static_cast<char>(line[i] & 0177);
    }
    buffer[length] = '\0';
    if (length > 0) {
        history(line_editor.history, &line_editor.event, H_ENTER, buffer);
        history(line_editor.history, &line_editor.event, H_SAVE, HISTORY_FILE);
    }
    return length;
}
