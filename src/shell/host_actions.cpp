// The actions of kestrel's command line that do not start the shell: laying
// out an ND tree, listing and extracting a volume image.
#include "filesystem/users.h"
#include "floppy/floppy.h"
#include "host/host.h"
#include "shell/host_options.h"

#include <cctype>
#include <cerrno>
#include <cstdio>

std::string upper_case_name(std::string text) {
    for (auto &c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

bool directory_is_nd_tree() {
    for (const char *user : {"SYSTEM", "RT", "SCRATCH"})
        if (!host_file_info(user_directory(user)).is_directory) return false;
    return true;
}

void print_not_a_tree_hint() {
    std::fflush(stdout);
    std::fprintf(stderr, "Hint: this directory is not an ND directory tree. KESTREL needs the\n"
                         "users (SYSTEM), (RT) and (SCRATCH) as directories here, and the scratch\n"
                         "files (SCRATCH)/SCRATCH01.DATA to SCRATCH08.DATA. `kestrel --init DIR`\n"
                         "lays out such a tree and `kestrel -C DIR` works in it; `make run` lays\n"
                         "out a demo tree in build/demo-tree. See README.md, \"Using KESTREL\".\n");
}

namespace {

struct TreeItem {
    std::string path;
    bool directory;
};

// What a new tree in `root` consists of: the three system users with the
// scratch files and the terminal device file, then the named users.
std::vector<TreeItem> tree_items(const std::string &root, const std::vector<std::string> &users) {
    std::vector<TreeItem> items;
    std::vector<std::string> made_users;
    auto add_user = [&](const std::string &user) {
        for (const auto &made : made_users)
            if (made == user) return;
        made_users.push_back(user);
        items.push_back({root + "/(" + user + ")", true});
    };
    add_user("SYSTEM");
    items.push_back({root + "/(SYSTEM)/TERMINAL.SYMB", false});
    add_user("RT");
    add_user("SCRATCH");
    for (int n = 1; n <= 8; ++n) {
        char name[40];
        std::snprintf(name, sizeof name, "/(SCRATCH)/SCRATCH%02d.DATA", n);
        items.push_back({root + name, false});
    }
    for (const auto &user : users)
        add_user(user);
    return items;
}

FILE *open_volume_image(const std::string &image_path) {
    HostFileInfo info = host_file_info(image_path);
    if (info.exists && info.is_directory) {
        std::fprintf(stderr, "kestrel: %s is a directory, not a volume image\n",
                     image_path.c_str());
        return nullptr;
    }
    FILE *image = std::fopen(image_path.c_str(), "rb");
    if (!image)
        std::fprintf(stderr, "kestrel: cannot read %s: %s\n", image_path.c_str(),
                     host_error_text().c_str());
    return image;
}

} // namespace

// An empty new file; false (errno EEXIST) when anything has that name.
static bool make_empty_file(const std::string &path) {
    FILE *made = host_create_new_file(path);
    return made && std::fclose(made) == 0;
}

int init_nd_tree(const std::string &directory, const std::vector<std::string> &users) {
    std::vector<std::string> names;
    for (const auto &user : users) {
        std::string name = upper_case_name(user);
        if (!is_valid_user_name(name)) {
            std::fprintf(stderr,
                         "kestrel: %s cannot be an ND user name (1 to 16 letters, digits "
                         "and -)\n",
                         user.c_str());
            return EXIT_STATUS_USAGE;
        }
        names.push_back(name);
    }
    if (names.empty()) names.push_back("EMULATOR");
    HostFileInfo root = host_file_info(directory);
    if (root.exists && !root.is_directory) {
        std::fprintf(stderr, "kestrel: %s exists and is not a directory; nothing was made\n",
                     directory.c_str());
        return EXIT_STATUS_FAILED;
    }
    std::vector<TreeItem> items = tree_items(directory, names);
    for (const auto &item : items)
        if (host_file_info(item.path).exists) {
            std::fprintf(stderr, "kestrel: %s exists already; nothing was made\n",
                         item.path.c_str());
            return EXIT_STATUS_FAILED;
        }
    std::printf("Made the ND directory tree %s:\n", directory.c_str());
    if (!root.exists) {
        if (!host_make_directory(directory)) {
            std::fprintf(stderr, "kestrel: cannot make %s: %s\n", directory.c_str(),
                         host_error_text().c_str());
            return EXIT_STATUS_FAILED;
        }
        std::printf("  %s/\n", directory.c_str());
    }
    // Made with exclusive creation: what appeared since the check above is
    // never replaced.
    for (const auto &item : items) {
        bool made = item.directory ? host_make_directory(item.path) : make_empty_file(item.path);
        if (!made) {
            std::fflush(stdout);
            std::fprintf(stderr, "kestrel: cannot make %s: %s\n", item.path.c_str(),
                         host_error_text().c_str());
            return EXIT_STATUS_FAILED;
        }
        std::printf("  %s%s\n", item.path.c_str(), item.directory ? "/" : "");
    }
    return EXIT_STATUS_OK;
}

int list_volume(const std::string &image_path) {
    FILE *image = open_volume_image(image_path);
    if (!image) return EXIT_STATUS_USAGE;
    int result = list_floppy_image(image, stdout, stderr);
    std::fclose(image);
    std::fflush(stdout);
    return result == 0 ? EXIT_STATUS_OK : EXIT_STATUS_FAILED;
}

int extract_volume(const std::string &image_path, const std::string &user) {
    if (!directory_is_nd_tree()) {
        print_not_a_tree_hint();
        return EXIT_STATUS_USAGE;
    }
    std::string name = upper_case_name(user.empty() ? "EMULATOR" : user);
    if (!is_valid_user_name(name) || !host_file_info(user_directory(name)).is_directory) {
        std::fprintf(stderr, "kestrel: there is no user %s in this ND tree\n", name.c_str());
        return EXIT_STATUS_USAGE;
    }
    FILE *image = open_volume_image(image_path);
    if (!image) return EXIT_STATUS_USAGE;
    std::printf("The files of the volume are written into the directory of user %s.\n",
                name.c_str());
    int result = extract_floppy_image(image, user_directory(name), stdout, stderr, image_path);
    std::fclose(image);
    std::fflush(stdout);
    return result == 0 ? EXIT_STATUS_OK : EXIT_STATUS_FAILED;
}
