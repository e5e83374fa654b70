#pragma once
// Helpers shared by the test suites: paths, temporary folders, running the
// zelt binary or the Python oracle and capturing what they print.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <string>

namespace zelt_test {

inline std::filesystem::path source_dir() { return ZELT_SOURCE_DIR; }
inline std::filesystem::path example(const std::string& name) {
    return source_dir() / "examples" / "beta-blip" / name;
}
inline std::string zelt_binary() { return ZELT_BINARY; }
inline std::string python() { return ZELT_PYTHON; }

// A fresh, empty folder removed when the object goes.
class temp_dir {
public:
    temp_dir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "zelt-test-XXXXXX").string();
        if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
        path_ = tmpl;
    }
    ~temp_dir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    temp_dir(const temp_dir&) = delete;
    temp_dir& operator=(const temp_dir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

inline void write_file(const std::filesystem::path& p, const std::string& text) {
    std::ofstream out(p, std::ios::binary);
    out << text;
    if (!out) throw std::runtime_error("cannot write " + p.string());
}

inline std::string read_file(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The ATOM lines of one chain of the bundled reference solution (chain A is
// beta-lactamase, chain B BLIP), placed as the reference has them.
inline std::string reference_atoms(char chain) {
    std::string atoms;
    std::istringstream in(read_file(example("reference_solution.pdb")));
    for (std::string line; std::getline(in, line);)
        if (line.rfind("ATOM  ", 0) == 0 && line.size() > 21 && line[21] == chain) atoms += line + "\n";
    return atoms;
}

inline std::string shell_quote(const std::string& s) {
    std::string r = "'";
    for (char c : s) {
        if (c == '\'') r += "'\\''";
        else r += c;
    }
    return r + "'";
}

struct run_result {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs a shell command line in `cwd` (empty: current folder) with the given
// standard input text; captures both output streams and the exit status.
inline run_result run_command(const std::string& command, const std::string& cwd = "",
                              const std::string& input = "") {
    temp_dir t;
    write_file(t / "in", input);
    std::string line = "cd " + shell_quote(cwd.empty() ? std::filesystem::current_path().string() : cwd) +
                       " && " + command + " <" + shell_quote((t / "in").string()) + " >" +
                       shell_quote((t / "out").string()) + " 2>" + shell_quote((t / "err").string());
    int rc = std::system(line.c_str());
    run_result r;
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    r.out = read_file(t / "out");
    r.err = read_file(t / "err");
    return r;
}

// Runs the zelt binary with already quoted arguments.
inline run_result run_zelt(const std::string& args, const std::string& cwd = "",
                           const std::string& input = "") {
    return run_command(shell_quote(zelt_binary()) + " " + args, cwd, input);
}

// Runs a Python script with Debian's interpreter (where gemmi lives); the
// script's standard output is returned, a failing script throws.
inline std::string run_python(const std::string& script, const std::string& cwd = "") {
    temp_dir t;
    write_file(t / "script.py", script);
    run_result r = run_command(shell_quote(python()) + " " + shell_quote((t / "script.py").string()), cwd);
    if (r.status != 0) throw std::runtime_error("python oracle failed: " + r.err);
    return r.out;
}

// The message of the failure of kind E that f throws; another kind of
// failure, or none, gives a text saying so (so a comparison fails visibly).
template <class E>
std::string failure(const std::function<void()>& f) {
    try {
        f();
    } catch (const E& e) {
        return e.what();
    } catch (const std::exception& e) {
        return std::string("wrong kind: ") + e.what();
    }
    return "no failure";
}

}  // namespace zelt_test
