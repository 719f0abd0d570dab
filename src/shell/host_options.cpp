#include "shell/host_options.h"

#include <cstring>

namespace {

// The action options are exclusive of each other and of PROGRAM.
std::string set_action(HostOptions *options, HostAction action, const char *option) {
    if (options->action != HostAction::Shell)
        return std::string(option) + " cannot be combined with the options before it";
    options->action = action;
    return {};
}

// "--name=value" or "--name value" (also "-n value").
bool take_value(const std::string &word, const char *short_name, const char *long_name, int argc,
                const char *const *argv, int *index, std::string *value, std::string *error) {
    std::string long_form = long_name;
    if (word == long_form || (short_name && word == short_name)) {
        if (*index + 1 >= argc) {
            *error = "option " + word + " needs a value";
            return true;
        }
        *value = argv[++*index];
        if (value->empty()) *error = "option " + word + " needs a value";
        return true;
    }
    if (word.rfind(long_form + "=", 0) == 0) {
        *value = word.substr(long_form.size() + 1);
        if (value->empty()) *error = "option " + long_form + " needs a value";
        return true;
    }
    return false;
}

} // namespace

std::string parse_host_options(int argc, const char *const *argv, HostOptions *options) {
    *options = HostOptions{};
    std::string error;
    int i = 1;
    for (; i < argc && error.empty(); ++i) {
        std::string word = argv[i];
        std::string value;
        if (word == "--") {
            ++i;
            break;
        }
        if (word.empty() || word[0] != '-' || word == "-") break;
        if (word == "-q" || word == "--quiet") {
            options->quiet = true;
        } else if (word == "--lf") {
            options->unix_line_ends = true;
        } else if (word == "--help" || word == "-h") {
            error = set_action(options, HostAction::Help, "--help");
        } else if (word == "--version") {
            error = set_action(options, HostAction::Version, "--version");
        } else if (take_value(word, "-C", "--tree", argc, argv, &i, &value, &error)) {
            options->tree = value;
        } else if (take_value(word, "-u", "--user", argc, argv, &i, &value, &error)) {
            options->user = value;
        } else if (take_value(word, nullptr, "--list-volume", argc, argv, &i, &value, &error)) {
            if (error.empty()) error = set_action(options, HostAction::ListVolume, "--list-volume");
            options->path = value;
        } else if (take_value(word, nullptr, "--extract-volume", argc, argv, &i, &value, &error)) {
            if (error.empty())
                error = set_action(options, HostAction::ExtractVolume, "--extract-volume");
            options->path = value;
        } else if (take_value(word, nullptr, "--init", argc, argv, &i, &value, &error)) {
            if (error.empty()) error = set_action(options, HostAction::InitTree, "--init");
            options->path = value;
            // The rest are the users of the new tree.
            for (++i; i < argc; ++i)
                options->arguments.push_back(argv[i]);
            return error;
        } else {
            error = "unknown option " + word;
        }
    }
    if (!error.empty()) return error;
    if (i < argc) {
        if (options->action != HostAction::Shell)
            return std::string("a program cannot be run together with ") +
                   (options->action == HostAction::ListVolume      ? "--list-volume"
                    : options->action == HostAction::ExtractVolume ? "--extract-volume"
                                                                   : "--help or --version");
        options->action = HostAction::RunProgram;
        options->program = argv[i];
        for (++i; i < argc; ++i)
            options->arguments.push_back(argv[i]);
    }
    if (options->quiet && options->action == HostAction::Shell)
        return "-q needs a PROGRAM to run: the operator shell is not quiet";
    return {};
}

std::string program_arguments_text(const std::vector<std::string> &arguments) {
    std::string text;
    for (const auto &argument : arguments)
        text += " " + argument;
    return text;
}
