// The host command line of kestrel: what to do, where, as whom.
#pragma once

#include <string>
#include <vector>

// Exit statuses of the process.
constexpr int EXIT_STATUS_OK = 0;
// A run stopped abnormally, or a set-up or extraction could not be done.
constexpr int EXIT_STATUS_FAILED = 1;
// An unknown option, a missing or unreadable image, a directory that is not
// an ND tree, an unknown user.
constexpr int EXIT_STATUS_USAGE = 2;

enum class HostAction {
    Shell,      // the operator shell
    RunProgram, // PROGRAM [ARGS...]: run it and exit
    Help,
    Version,
    InitTree,      // --init DIR [USER...]
    ListVolume,    // --list-volume IMAGE
    ExtractVolume, // --extract-volume IMAGE
};

struct HostOptions {
    HostAction action = HostAction::Shell;
    bool quiet = false;                 // -q, --quiet
    bool unix_line_ends = false;        // --lf
    std::string tree;                   // -C, --tree
    std::string user;                   // -u, --user
    std::string program;                // PROGRAM
    std::vector<std::string> arguments; // ARGS of PROGRAM, or the users of --init
    std::string path;                   // DIR of --init, IMAGE of the volume options
};

// Reads argv[1...]. Options come before PROGRAM; everything after PROGRAM
// (or after "--") is its arguments. Returns an empty string, or the text of
// the usage error.
std::string parse_host_options(int argc, const char *const *argv, HostOptions *options);

// The program command line that ARGS make, as typed after the name at the
// prompt: each argument after a blank.
std::string program_arguments_text(const std::vector<std::string> &arguments);

// A user name or host file type as typed, in capitals.
std::string upper_case_name(std::string text);

// Whether the working directory holds the users SYSTEM, RT and SCRATCH.
bool directory_is_nd_tree();
// Prints on standard error that the working directory is not an ND tree, and
// how to get one.
void print_not_a_tree_hint();

// --init DIR [USER...]: lays out a new ND tree; returns the exit status.
int init_nd_tree(const std::string &directory, const std::vector<std::string> &users);
// --list-volume IMAGE: the volume report; returns the exit status.
int list_volume(const std::string &image_path);
// --extract-volume IMAGE: extracts the volume's files into USER of the ND
// tree in the working directory; returns the exit status.
int extract_volume(const std::string &image_path, const std::string &user);
