// Plain file opener used until name resolution lands: NAME[:TYPE] in the
// current user's directory.
#include "filesystem/file_names.h"

#include "filesystem/users.h"
#include "shell/shell.h"

#include <cctype>

int s3_fopen(FILE **stream, const char *prompt, const char *mode, const char *default_type,
             std::string *host_path) {
    bool console_allowed = prompt[0] == '&';
    std::string word;
    int length = read_word_argument(&word, "", console_allowed ? prompt + 1 : prompt);
    if (length == CONSOLE_EOF)
        return CONSOLE_EOF;
    if (length == 0 && console_allowed) {
        *stream = (mode[0] == 'r') ? stdin : stdout;
        return 0;
    }
    for (auto &c : word) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (c == ':')
            c = '.';
        if (c == '/' || c == '(' || c == ')') {
            std::fprintf(shell.operator_output, "No such file name: %s\r\n", word.c_str());
            return -7;
        }
    }
    if (word.find('.') == std::string::npos)
        word += std::string(".") + default_type;
    std::string path = user_directory(user_table.current_user_name) + "/" + word;
    *stream = std::fopen(path.c_str(), mode);
    if (!*stream) {
        std::fprintf(shell.operator_output, "No such file name: %s\r\n", word.c_str());
        return -7;
    }
    if (host_path)
        *host_path = path;
    return 0;
}
