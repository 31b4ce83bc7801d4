// Helpers for tests that run the built programs as a user would.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// Skips the current GoogleTest test on Windows, saying why: for cases that
// need POSIX devices (/dev/full), symbolic links or the like.
#ifdef _WIN32
#define VT_SKIP_ON_WINDOWS(why) GTEST_SKIP() << (why)
#else
#define VT_SKIP_ON_WINDOWS(why) static_cast<void>(0)
#endif

namespace vt {

// Whether the programs run as Windows programs: their console text has
// CR LF line ends (run_program turns them into LF), a folder cannot be
// opened as a file, and names are compared without case.
#ifdef _WIN32
inline constexpr bool ON_WINDOWS = true;
#else
inline constexpr bool ON_WINDOWS = false;
#endif

struct run_result {
    int status = -1; // exit status, or 128 + signal number
    std::string out; // standard output, byte for byte
    std::string err; // standard error, byte for byte
};

// Runs program with args (args[0] is the name the program sees as argv[0];
// program is the path executed).  Standard input comes from stdin_path, or
// the null device when it is empty.  Standard output goes to stdout_path when it is
// given (then run_result::out stays empty; append_stdout opens it for
// appending, keeping what it holds), otherwise it is captured.  Captured
// text has LF line ends on every platform.
run_result run_program(const std::string &program, const std::vector<std::string> &args,
                       const std::string &stdin_path = "", const std::string &stdout_path = "",
                       bool append_stdout = false);

// A fresh folder under the system's temporary folder, removed with its
// contents when the object goes.
class temp_dir {
public:
    temp_dir();
    ~temp_dir();
    temp_dir(const temp_dir &) = delete;
    temp_dir &operator=(const temp_dir &) = delete;
    const std::filesystem::path &path() const { return path_; }
    std::string file(const std::string &name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// Sets or removes (value null) a variable of this process's environment,
// which programs started later inherit.
void set_env(const char *name, const char *value);

// True when programs run under a cross emulator (qemu-user).
bool runs_emulated();

std::string read_file(const std::string &path);
// The text with every CR LF turned into LF.
std::string text_lines(std::string text);
void write_file(const std::string &path, const std::string &bytes);
bool file_exists(const std::string &path);

// What a folder holds, one sorted line per entry below it, named relative to
// it: "name -> target" for a symlink, "name/" for a folder, "name fifo",
// "name 0640 bytes" for a regular file (permission bits in octal, then its
// bytes), "name other" for anything else.
std::string describe_folder(const std::string &folder);

// Bytes from a string of hex digits; blanks between digits are ignored.
std::string from_hex(const std::string &hex);

} // namespace vt
