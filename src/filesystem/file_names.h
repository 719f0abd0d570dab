// ND file names: validation, de-abbreviation against the user directories,
// host paths ./(USER)/NAME.TYPE, and the shell's file opener.
//
// An ND name is [(USER)]NAME[:TYPE], optionally in double quotes to mark a
// file to be created; "(DIRECTORY:USER)" drops the directory and "()" is the
// current user. No ND name reaches a host path outside the user directories:
// a "/" anywhere except in the host-path form ./(USER)/NAME.TYPE is an
// illegal character.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// Resolution statuses of deabb, deabb_user and the user lookups.
constexpr int NAME_RESOLVED = 0;
constexpr int NAME_USER_TOO_LONG = -1;
constexpr int NAME_USER_AMBIGUOUS = -2;
constexpr int NAME_NO_SUCH_USER = -3;
constexpr int NAME_NO_USER = -4;
constexpr int NAME_MISSING_PARENTHESIS = -5; // "(" without ")"
constexpr int NAME_FILE_AMBIGUOUS = -6;
constexpr int NAME_NO_SUCH_FILE = -7;
// The user's directory holds more files than can be listed; callers report
// it as a status they do not handle.
constexpr int NAME_DIRECTORY_TOO_LARGE = -8;
// A path separator or an empty file name: the name would leave the user
// directories. Monitor calls give it the code 21 (illegal character).
constexpr int NAME_ILLEGAL_CHARACTER = -9;

// Results of s3_fopen besides a resolution status.
constexpr int OPEN_CANCELLED = -99;
constexpr int OPEN_FILE_EXISTS = -97;
constexpr int OPEN_HELD_ELSEWHERE = -96; // another KESTREL has the file open
constexpr int OPEN_FAILED = -95;
// The console input ended while the name was asked for: the command ends
// without a message.
constexpr int OPEN_INPUT_ENDED = -98;

constexpr int MAX_NORMALISED_NAME = 60;
constexpr int MAX_TYPED_NAME = 256;
constexpr int MAX_FILE_NAME = 16;
constexpr int MAX_FILE_TYPE = 4;

// Letters, digits and "-": the characters of ND file and user names.
bool is_nd_name_character(char c);

extern const char TERMINAL_PATH[]; // "./(SYSTEM)/TERMINAL.SYMB"

// The host path of the file s3_fopen opened last (load-image-file and
// @rename-file read it).
extern std::string last_opened_file_name;

// Drops the directory name of a "(DIRECTORY:USER)" user part. Returns 0 for
// a name without user part, 1 with one, -1 when a user part with ":" lacks
// its ")" or the name holds a "/", -2 when the name is longer than 60.
int normalise_name(const std::string &name, std::string *out);
// The user part: 0 and the current user without one, 5 and the current user
// for "()", 1 and the name in parentheses, -1 when that has 17 or more
// characters, -5 when ")" is missing.
int user_of_name(const std::string &name, std::string *user);
// Characters of the file-name part (after a leading quote and the user part,
// up to ":" or "." or the end); -1 for "(" without ")".
int name_part_length(const std::string &name);
// Resolves user and file abbreviations to the host path of an existing file,
// falling back to SYSTEM for a name without user part. Returns a status.
int deabb(const std::string &name, std::string *host_path);
// Builds the host path for a file that need not exist, resolving only the
// user part; a leading double quote stays in front. Returns a status.
int deabb_user(const std::string &name, std::string *host_path, const std::string &current_user);
bool is_terminal_path(const std::string &path);
// ":" becomes "."; a name without "." gets "." and default_type (given with
// or without its "."), placed before a closing double quote.
std::string add_default_type(const std::string &name, const char *default_type);
// The ND error code (octal) that the open and de-abbreviation calls give for
// a negative status, or -1 for a status they do not handle.
int resolution_error_code(int status);
// The shell's message for a negative status, printed on the operator output
// (with "\r\n" in front when `leading_newline`, as @rename-file has them).
void print_resolution_status(int status, const std::string &name, bool leading_newline = false);

// "<path> is open in another KESTREL: <consequence>" on the operator output.
void print_held_elsewhere(const std::string &path, const char *consequence);
// Holds the file exclusively for the command under way, which is about to
// change it; when another KESTREL has it open, prints so with the
// consequence and returns false: the command then changes nothing.
bool reserve_for_change_by_command(const std::string &path, const char *consequence);

// The shell's file opener: reads the name with read_word_argument (prompting
// with `prompt`; a prompt beginning with "&" lets an empty answer mean the
// console), resolves it with `default_type` and opens it with the host access
// mode. Returns 0 with *stream set, or a negative code after printing the
// message. The path opened is left in *host_path when it is given. Only
// regular files are opened, never through a symbolic link; a file opened
// for writing or appending is held against the other KESTRELs until the
// command ends, and one that another KESTREL has open is refused.
int s3_fopen(FILE **stream, const char *prompt, const char *mode, const char *default_type,
             std::string *host_path = nullptr);
