#include "test_support.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace vt {

static std::vector<std::string> split_words(const std::string &text, char sep)
{
    std::vector<std::string> words;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(sep, start);
        if (end == std::string::npos)
            end = text.size();
        if (end > start)
            words.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return words;
}

run_result run_program(const std::string &program, const std::vector<std::string> &args,
                       const std::string &stdin_path, const std::string &stdout_path)
{
    temp_dir capture;
    std::string out_path = stdout_path.empty() ? capture.file("stdout") : stdout_path;
    std::string err_path = capture.file("stderr");
    std::string argv0 = args.empty() ? program : args[0];

    // Cross builds run the program under their emulator, which sets the
    // guest's argv[0] with -0.  VANTREL_TEST_WRAPPER (a valgrind command
    // line, say) runs in front of native programs; it finds the program
    // through PATH under the name argv0, so that argv[0] stays as given.
    std::vector<std::string> words = split_words(VANTREL_TEST_EMULATOR, '\x1f');
    std::vector<std::string> env_text;
    for (char **e = environ; *e != nullptr; ++e)
        env_text.push_back(*e);
    const char *wrapper = std::getenv("VANTREL_TEST_WRAPPER");
    if (!words.empty()) {
        words.push_back("-0");
        words.push_back(argv0);
        words.push_back(program);
    } else if (wrapper != nullptr && *wrapper != '\0' && argv0.find('/') == std::string::npos) {
        words = split_words(wrapper, ' ');
        std::filesystem::create_symlink(std::filesystem::absolute(program), capture.file(argv0));
        for (std::string &e : env_text)
            if (e.rfind("PATH=", 0) == 0)
                e = "PATH=" + capture.path().string() + ":" + e.substr(5);
        words.push_back(argv0);
    } else {
        words.push_back(argv0);
    }
    for (size_t i = 1; i < args.size(); ++i)
        words.push_back(args[i]);
    std::vector<char *> argv, envp;
    for (std::string &w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    for (std::string &e : env_text)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    bool direct = argv0 == words[0];
    std::string path = direct ? program : words[0];

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, stdin_path.empty() ? "/dev/null" : stdin_path.c_str(),
                                     O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);

    pid_t pid;
    int rc = direct ? posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), envp.data())
                    : posix_spawnp(&pid, path.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    run_result result;
    if (rc != 0) {
        result.err = std::string("spawn failed: ") + std::strerror(rc);
        return result;
    }
    int wstatus = 0;
    while (waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {
    }
    result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    if (stdout_path.empty())
        result.out = read_file(out_path);
    result.err = read_file(err_path);
    return result;
}

temp_dir::temp_dir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "vantrel-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

temp_dir::~temp_dir()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string read_file(const std::string &path)
{
    std::string bytes;
    FILE *f = std::fopen(path.c_str(), "rb");
    if (f == nullptr)
        return bytes;
    char chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0)
        bytes.append(chunk, got);
    std::fclose(f);
    return bytes;
}

void write_file(const std::string &path, const std::string &bytes)
{
    FILE *f = std::fopen(path.c_str(), "wb");
    if (f == nullptr)
        throw std::runtime_error("cannot create " + path);
    size_t put = std::fwrite(bytes.data(), 1, bytes.size(), f);
    if (std::fclose(f) != 0 || put != bytes.size())
        throw std::runtime_error("cannot write " + path);
}

bool file_exists(const std::string &path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

std::string describe_folder(const std::string &folder)
{
    std::vector<std::string> lines;
    for (const auto &entry : std::filesystem::recursive_directory_iterator(folder)) {
        std::string name = entry.path().lexically_relative(folder).string();
        struct stat st;
        if (::lstat(entry.path().c_str(), &st) != 0) {
            lines.push_back(name + " vanished");
        } else if (S_ISLNK(st.st_mode)) {
            lines.push_back(name + " -> " + std::filesystem::read_symlink(entry.path()).string());
        } else if (S_ISREG(st.st_mode)) {
            char mode[8];
            std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
            lines.push_back(name + " " + mode + " " + read_file(entry.path().string()));
        } else {
            lines.push_back(name + (S_ISDIR(st.st_mode) ? "/" : S_ISFIFO(st.st_mode) ? " fifo" : " other"));
        }
    }
    std::sort(lines.begin(), lines.end());
    std::string text;
    for (const std::string &line : lines)
        text += line + "\n";
    return text;
}

std::string from_hex(const std::string &hex)
{
    std::string bytes;
    int high = -1;
    for (char c : hex) {
        int v;
        if (c >= '0' && c <= '9')
            v = c - '0';
        else if (c >= 'a' && c <= 'f')
            v = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            v = c - 'A' + 10;
        else
            continue;
        if (high < 0) {
            high = v;
        } else {
            bytes.push_back(static_cast<char>(high * 16 + v));
            high = -1;
        }
    }
    return bytes;
}

bool runs_emulated() { return !split_words(VANTREL_TEST_EMULATOR, '\x1f').empty(); }

} // namespace vt
