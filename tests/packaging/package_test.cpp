// The Debian package as an administrator gets it: made with cpack from the build tree,
// unpacked into a clean folder without root rights, its control fields and file list
// read with dpkg-deb, and the programs, the manual pages and the demo run from the
// unpacked files alone, with an environment that names neither the source nor the
// build tree.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/support/temp_dir.h"
#include "tests/support/tmux.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::TmuxOptions;
using testing_support::TmuxSession;
using testing_support::WriteFile;

using Environment = std::vector<std::pair<std::string, std::string>>;

struct Result {
  int code = -1;  // exit code; -1 when it could not run, was killed or timed out
  std::string out, err;
};

// Runs argv[0] (looked up in PATH) with exactly the environment given, in `cwd`,
// standard input from /dev/null, and collects its output. Killed after timeoutMs.
Result RunCommand(const std::vector<std::string>& argv, const Environment& env,
                  const std::string& cwd = "", int timeoutMs = 120000) {
  Result result;
  TempDir io;
  const std::string outPath = io / "out", errPath = io / "err";
  std::vector<std::string> envText;
  for (const auto& [name, value] : env) envText.push_back(name + "=" + value);
  std::vector<char*> args, envp;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  for (const std::string& e : envText) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);

  const pid_t pid = ::fork();
  if (pid < 0) return result;
  if (pid == 0) {
    const int in = ::open("/dev/null", O_RDONLY);
    const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || out < 0 || err < 0) ::_exit(126);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    if (!cwd.empty() && ::chdir(cwd.c_str()) != 0) ::_exit(126);
    ::execvpe(args[0], args.data(), envp.data());
    ::_exit(127);
  }
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) break;
    if (done < 0 && errno != EINTR) return result;
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      result.err = "timed out: " + argv[0];
      return result;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  result.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.out = ReadFile(outPath).value_or("");
  result.err = ReadFile(errPath).value_or("");
  return result;
}

// The environment the installed programs run with: the system's folders and the
// unpacked package's bin/, nothing else.
Environment CleanEnvironment(const std::string& root, const std::string& home) {
  return {{"PATH", root + "usr/bin:/usr/bin:/bin"},
          {"HOME", home},
          {"LANG", "C.UTF-8"},
          {"TERM", "dumb"}};
}

Environment With(Environment env, const Environment& more) {
  env.insert(env.end(), more.begin(), more.end());
  return env;
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Every regular file under a folder, as paths relative to it.
std::set<std::string> FilesUnder(const std::string& folder) {
  std::set<std::string> files;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(folder, ec);
       it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_regular_file()) files.insert(fs::relative(it->path(), folder).string());
  }
  return files;
}

// The package, made and unpacked once for every test of this file; its folder goes
// when the program ends.
struct Package {
  std::unique_ptr<TempDir> dir;
  std::string deb;    // the .deb file
  std::string root;   // where it was unpacked, ending with "/"
  std::string error;  // why there is no package
};

Package& ThePackage() {
  static Package package;
  return package;
}

class InstalledPackage : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
#ifdef ZUR_SANITIZED
    return;
#else
    Package& p = ThePackage();
    if (p.dir != nullptr) return;  // made for an earlier suite of this file
    p.dir = std::make_unique<TempDir>();
    const std::string out = *p.dir / "out";
    Result made = RunCommand(
        {ZUR_CPACK, "-G", "DEB", "--config", ZUR_BINARY_DIR "/CPackConfig.cmake", "-B", out},
        {{"PATH", std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin"},
         {"HOME", p.dir->path()}},
        ZUR_BINARY_DIR, 240000);
    if (made.code != 0) {
      p.error = "cpack failed:\n" + made.out + made.err;
      return;
    }
    for (const auto& entry : fs::directory_iterator(out)) {
      if (entry.path().extension() == ".deb") p.deb = entry.path().string();
    }
    if (p.deb.empty()) {
      p.error = "cpack made no .deb in " + out + ":\n" + made.out;
      return;
    }
    p.root = *p.dir / "root/";
    Result unpacked = RunCommand({"dpkg-deb", "-x", p.deb, p.root}, {{"PATH", "/usr/bin:/bin"}});
    if (unpacked.code != 0) p.error = "dpkg-deb -x failed:\n" + unpacked.err;
#endif
  }

  void SetUp() override {
#ifdef ZUR_SANITIZED
    GTEST_SKIP() << "a package of sanitized programs is not what is shipped";
#endif
    if (!ThePackage().error.empty()) FAIL() << ThePackage().error;
    home_ = std::make_unique<TempDir>();
  }

  static const std::string& Deb() {
    return ThePackage().deb;
  }
  static const std::string& Root() {
    return ThePackage().root;
  }
  std::string Bin(const std::string& program) const {
    return Root() + "usr/bin/" + program;
  }
  Environment Env() const {
    return CleanEnvironment(Root(), home_->path());
  }

  std::string Field(const std::string& name) const {
    Result r = RunCommand({"dpkg-deb", "-f", Deb(), name}, Env());
    EXPECT_EQ(r.code, 0) << r.err;
    while (!r.out.empty() && r.out.back() == '\n') r.out.pop_back();
    return r.out;
  }

  std::unique_ptr<TempDir> home_;
};

TEST_F(InstalledPackage, ControlFieldsNameTheProductAndItsRuntimeLibraries) {
  Result arch = RunCommand({"dpkg", "--print-architecture"}, Env());
  ASSERT_EQ(arch.code, 0) << arch.err;
  while (!arch.out.empty() && arch.out.back() == '\n') arch.out.pop_back();

  struct Case {
    const char* field;
    std::string wanted;
  } exact[] = {
      {"Package", "plecavun"}, {"Version", ZUR_PACKAGE_VERSION}, {"Architecture", arch.out},
      {"Section", "misc"},     {"Priority", "optional"},
  };
  for (const Case& c : exact) EXPECT_EQ(Field(c.field), c.wanted) << c.field;

  const std::string maintainer = Field("Maintainer");
  EXPECT_TRUE(Contains(maintainer, "<") && Contains(maintainer, "@") && maintainer.back() == '>')
      << maintainer;
  const std::vector<std::string> description = Lines(Field("Description"));
  ASSERT_GE(description.size(), 2u);
  EXPECT_TRUE(Contains(description[0], "letters")) << description[0];
  EXPECT_FALSE(Contains(Field("Description"), "\n\n")) << "a blank line ends the field";

  // The libraries the programs link and the font zurprint loads by path.
  const std::string depends = ", " + Field("Depends") + ",";
  for (const char* package : {"libc6", "libstdc++6", "libncursesw6", "libsqlite3-0", "libpq5",
                              "libcairo2", "libcsv3", "fonts-dejavu-core"}) {
    EXPECT_TRUE(Contains(depends, std::string(", ") + package + " ") ||
                Contains(depends, std::string(", ") + package + ","))
        << package << " missing from: " << depends;
  }
  // Nothing of the build: sanitizer runtimes, test and benchmark libraries, headers.
  for (const char* stray : {"libasan", "libubsan", "gtest", "benchmark", "-dev"}) {
    EXPECT_FALSE(Contains(depends, stray)) << stray << " in: " << depends;
  }
}

TEST_F(InstalledPackage, HoldsTheProgramsPagesAndDemoAndNothingElse) {
  Result list = RunCommand({"dpkg-deb", "-c", Deb()}, Env());
  ASSERT_EQ(list.code, 0) << list.err;
  std::set<std::string> files;
  std::set<std::string> executables;
  for (const std::string& line : Lines(list.out)) {
    // "-rwxr-xr-x root/root   599112 2026-01-01 10:00 ./usr/bin/plecavun"
    const size_t at = line.find(" ./");
    ASSERT_NE(at, std::string::npos) << line;
    const std::string path = line.substr(at + 3);
    EXPECT_EQ(path.rfind("usr/", 0), 0u) << "outside /usr: " << line;
    EXPECT_TRUE(Contains(line, " root/root ")) << line;
    if (line[0] == '-') {
      files.insert(path);
      if (line[3] == 'x') executables.insert(path);
    } else {
      EXPECT_EQ(line[0], 'd') << "neither a file nor a folder: " << line;
    }
  }

  const std::set<std::string> programs = {"usr/bin/plecavun", "usr/bin/plecavun-demo",
                                          "usr/bin/zurprint", "usr/bin/zurdata"};
  EXPECT_EQ(executables, programs);
  std::set<std::string> wanted = programs;
  for (const char* page : {"plecavun", "plecavun-demo", "zurprint", "zurdata"}) {
    wanted.insert(std::string("usr/share/man/man1/") + page + ".1.gz");
  }
  for (const char* kind : {"texts", "properties", "owners", "receipts"}) {
    wanted.insert(std::string("usr/share/plecavun/demo/data/") + kind + ".csv");
  }
  // The demo installation exactly as the build laid it out.
  const std::set<std::string> layout = FilesUnder(ZUR_BINARY_DIR "/demo/root");
  ASSERT_FALSE(layout.empty());
  for (const std::string& f : layout) wanted.insert("usr/share/plecavun/demo/root/" + f);
  EXPECT_EQ(files, wanted);

  for (const std::string& f : layout) {
    EXPECT_EQ(ReadFile(Root() + "usr/share/plecavun/demo/root/" + f),
              ReadFile(ZUR_BINARY_DIR "/demo/root/" + f))
        << f;
  }
}

TEST_F(InstalledPackage, NothingInstalledPointsIntoTheSourceOrBuildTree) {
  const std::vector<std::string> trees = {ZUR_SOURCE_DIR, ZUR_BINARY_DIR};
  for (const std::string& f : FilesUnder(Root())) {
    const std::string bytes = ReadFile(Root() + f).value_or("");
    for (const std::string& tree : trees) {
      EXPECT_FALSE(Contains(bytes, tree)) << f << " names " << tree;
    }
  }
  for (const char* program : {"plecavun", "zurprint", "zurdata"}) {
    Result r = RunCommand({"readelf", "-d", Bin(program)}, Env());
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_FALSE(Contains(r.out, "RPATH") || Contains(r.out, "RUNPATH")) << program << r.out;
    // Every library it needs is one of the system's.
    r = RunCommand({"ldd", Bin(program)}, Env());
    ASSERT_EQ(r.code, 0) << r.err;
    for (const std::string& line : Lines(r.out)) {
      EXPECT_FALSE(Contains(line, "not found")) << program << ":" << line;
      const size_t arrow = line.find("=> ");
      if (arrow == std::string::npos) continue;
      const std::string path = line.substr(arrow + 3);
      EXPECT_TRUE(path.rfind("/lib", 0) == 0 || path.rfind("/usr/lib", 0) == 0)
          << program << ":" << line;
    }
  }
}

TEST_F(InstalledPackage, ProgramsAnswerFromTheUnpackedFiles) {
  const std::string version = ZUR_PACKAGE_VERSION;
  struct Case {
    const char* program;
    std::vector<std::string> args;
    int code;
    std::vector<std::string> out;  // parts of standard output
    std::vector<std::string> err;  // parts of standard error
  } cases[] = {
      {"zurdata", {"--help"}, 0, {"import", "export", "property,owner,date,amount,state"}, {}},
      {"zurdata", {"--version"}, 0, {version + "\n"}, {}},
      {"zurprint", {"--version"}, 0, {"zurprint " + version + "\n"}, {}},
      {"zurprint", {"--help"}, 0, {"DEVICEPDF:path", "DEVICETXT:path", "lp -d"}, {}},
      {"plecavun-demo", {"--help"}, 0, {"Usage: plecavun-demo", "--layout-only"}, {}},
      {"plecavun-demo", {}, 2, {}, {"Usage: plecavun-demo"}},
      {"plecavun-demo", {"--colour", "x"}, 2, {}, {"unknown option --colour"}},
      // Started by the unpacked script's sibling, without a terminal: it says why.
      {"plecavun", {}, 1, {}, {"terminal"}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> argv = {Bin(c.program)};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    Result r = RunCommand(argv, Env(), home_->path());
    const std::string what = std::string(c.program) + " " + (c.args.empty() ? "" : c.args[0]);
    EXPECT_EQ(r.code, c.code) << what << "\n" << r.out << r.err;
    for (const std::string& part : c.out)
      EXPECT_TRUE(Contains(r.out, part)) << what << ": " << r.out;
    for (const std::string& part : c.err)
      EXPECT_TRUE(Contains(r.err, part)) << what << ": " << r.err;
  }
}

// The page's source with the escapes for "-" and "\" read, so that it can be searched
// for the words a reader looks for.
std::string PageText(const std::string& source) {
  std::string text;
  for (size_t i = 0; i < source.size(); ++i) {
    if (source.compare(i, 2, "\\-") == 0) {
      text += '-';
      ++i;
    } else if (source.compare(i, 2, "\\e") == 0) {
      text += '\\';
      ++i;
    } else if (source.compare(i, 3, "\\fP") == 0 || source.compare(i, 3, "\\fB") == 0 ||
               source.compare(i, 3, "\\fI") == 0 || source.compare(i, 3, "\\fR") == 0) {
      i += 2;
    } else {
      text += source[i];
    }
  }
  return text;
}

TEST_F(InstalledPackage, ManualPagesRenderWithoutWarningsAndCoverTheirSubjects) {
  struct Case {
    const char* page;
    std::vector<std::string> words;
  } cases[] = {
      {"plecavun",
       {// The environment.
        "ZURROOT", "ZUREXE", "ZURTMP", "ZURTERM", "TERM", "HTTP_USER_AGENT", "HTTP_ACCEPT",
        "WINDIR", "SYSTEMROOT", "COMSPEC", "ZURTODAY",
        // The settings files and every key the programs read.
        "Sessio.ini", "OrvaTerm.ini", "Orva.ini", "[Menu]", "Titol", "NomMenu", "[Terminal]", "Dir",
        "[Pantalla]", "Seleccio", "Col", "[Sistema]", "Data", "Sortida", "Idioma", "[Usuari]",
        "DecCaracter", "MilCaracter", "DatCaracter", "DatOrdre", "Capcalera1", "Capcalera8",
        // The record files, forms, language, help and templates.
        "DADES/Textos", "DADES/FinquesH", "DADES/PropietH", "DADES/CobramH", "ddf/", ".xdf",
        "FORMS/PLECAVUN.ZPN", "LOCALE/PLECAVUN.LNG", "AJUDA/", ".HLP", "TEXTOS/", "RELPEN", "FECHA",
        "MEM1", "@+", "#+",
        // The work files, exit status and examples.
        "zurprint.tmp", "merge.tmp", "WinPush.tmp", "Browse.tmp", "ZURCALC.TMP", "EXIT STATUS",
        "EXAMPLES", "zurprint (1)"}},
      {"zurprint",
       {"DEVICE", "PDF:", "TXT:", "lp -d", "zurprint.pdf", "zurprint.txt", "ZURTMP", "ZURTERM",
        "Sessio.ini", "Sortida", "PAGE", "JUS", "DejaVu", "--version", "EXIT STATUS", "EXAMPLES"}},
      {"zurdata",
       {"init", "import", "export", "stat", "--replace", "--root", "ZURROOT",
        "code,description,group", "property,address1,address2,address3",
        "property,owner,name,unit,mail1,mail2,mail3", "property,owner,date,amount,state",
        "DADES/Textos.dat", "ddf/", ".xdf", "--version", "EXIT STATUS", "EXAMPLES"}},
      {"plecavun-demo",
       {"--date", "--language", "--layout-only", "RECORDA", "zurprint.pdf", "EXIT STATUS",
        "EXAMPLES"}},
  };
  for (const Case& c : cases) {
    const std::string page = Root() + "usr/share/man/man1/" + c.page + ".1.gz";
    Result shown =
        RunCommand({"man", "--warnings", "-l", page},
                   With(Env(), {{"MANPAGER", "cat"}, {"PAGER", "cat"}, {"MANWIDTH", "80"}}));
    EXPECT_EQ(shown.code, 0) << c.page << shown.err;
    EXPECT_EQ(shown.err, "") << c.page;
    EXPECT_TRUE(Contains(shown.out, "NAME")) << c.page << shown.out;
    EXPECT_TRUE(Contains(shown.out, "SYNOPSIS")) << c.page;

    Result source = RunCommand({"gzip", "-dc", page}, Env());
    ASSERT_EQ(source.code, 0) << c.page << source.err;
    ASSERT_FALSE(source.out.empty()) << c.page;
    const std::string plain = *home_ / (std::string(c.page) + ".1");
    WriteFile(plain, source.out);
    Result checked = RunCommand({"groff", "-man", "-ww", "-z", plain}, Env());
    EXPECT_EQ(checked.code, 0) << c.page;
    EXPECT_EQ(checked.err, "") << c.page;

    EXPECT_TRUE(Contains(Lines(source.out).front(), "\"plecavun " ZUR_PACKAGE_VERSION "\""))
        << c.page << ": " << Lines(source.out).front();

    const std::string text = PageText(source.out);
    for (const std::string& word : c.words) {
      EXPECT_TRUE(Contains(text, word)) << c.page << "(1) does not mention " << word;
    }
  }
}

// The demo laid out by the installed script with the installed data tool.
class InstalledDemo : public InstalledPackage {
 protected:
  Result Demo(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {Bin("plecavun-demo")};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunCommand(argv, Env(), home_->path());
  }

  // The demo files as the package ships them.
  static std::string Shipped(const std::string& relative) {
    return Root() + "usr/share/plecavun/demo/" + relative;
  }
};

TEST_F(InstalledDemo, LaysTheInstallationOutAndLoadsItsRecords) {
  const std::string folder = *home_ / "a/b/demo";
  Result r = Demo({"--layout-only", "--date", "20260315", "--language", "SPA", folder});
  ASSERT_EQ(r.code, 0) << r.out << r.err;
  EXPECT_TRUE(Contains(r.out, folder + "/TMP/zurprint.pdf")) << r.out;

  // Every shipped file is there, byte for byte, except the terminal settings, where
  // only the date and the language changed; the settings keep their CR LF.
  for (const std::string& f : FilesUnder(Shipped("root"))) {
    if (f == "TMP/OrvaTerm.ini") continue;
    EXPECT_EQ(ReadFile(folder + "/" + f), ReadFile(Shipped("root/" + f))) << f;
  }
  std::string terminal = ReadFile(Shipped("root/TMP/OrvaTerm.ini")).value_or("");
  for (auto [key, value] :
       {std::pair<std::string, std::string>{"Data=", "20260315"}, {"Idioma=", "SPA"}}) {
    const size_t at = terminal.find("\n" + key);
    ASSERT_NE(at, std::string::npos) << key;
    const size_t end = terminal.find('\r', at);
    terminal.replace(at + 1 + key.size(), end - at - 1 - key.size(), value);
  }
  EXPECT_EQ(ReadFile(folder + "/TMP/OrvaTerm.ini"), terminal);

  // The record files hold every row of the shipped CSV files.
  for (const char* kind : {"texts", "properties", "owners", "receipts"}) {
    const std::string csv = ReadFile(Shipped(std::string("data/") + kind + ".csv")).value_or("");
    const size_t rows = Lines(csv).size() - 1;
    Result stat = RunCommand({Bin("zurdata"), "--root", folder + "/", "stat", kind}, Env());
    EXPECT_EQ(stat.code, 0) << stat.err;
    EXPECT_TRUE(Contains(stat.out, "records: " + std::to_string(rows) + "\n"))
        << kind << ": " << stat.out;
  }
  // Nothing is left beside the folder.
  std::set<std::string> beside;
  for (const auto& e : fs::directory_iterator(*home_ / "a/b")) {
    beside.insert(e.path().filename().string());
  }
  EXPECT_EQ(beside, std::set<std::string>{"demo"});
}

TEST_F(InstalledDemo, ReplacesOnlyAnEarlierDemoAndRefusesWhatItCannotUse) {
  struct Case {
    const char* name;
    std::string prepare;  // "": nothing there; "empty"; "earlier"; "user"; "file"
    std::vector<std::string> options;
    int code;
    const char* err;  // part of the reason, for a refusal
  } cases[] = {
      {"a new folder", "", {}, 0, ""},
      {"an empty folder", "empty", {}, 0, ""},
      {"an earlier demo", "earlier", {}, 0, ""},
      {"a folder of the user's", "user", {}, 1, "not empty"},
      {"a file", "file", {}, 1, "not a folder"},
      {"a day that does not exist", "", {"--date", "20260230"}, 1, "no such day"},
      {"a date of another form", "", {"--date", "15/03/2026"}, 1, "YYYYMMDD"},
      {"an unknown language", "", {"--language", "ENG"}, 1, "CAT, SPA, GLG, OCI"},
  };
  for (const Case& c : cases) {
    TempDir parent;
    const std::string folder = parent / "demo";
    const std::string keep = "the user's own work\n";
    if (c.prepare == "empty") fs::create_directory(folder);
    if (c.prepare == "user") WriteFile(folder + "/notes.txt", keep);
    if (c.prepare == "file") WriteFile(folder, keep);
    if (c.prepare == "earlier") {
      ASSERT_EQ(Demo({"--layout-only", folder}).code, 0) << c.name;
      WriteFile(folder + "/left-over.txt", keep);
      WriteFile(folder + "/TMP/zurprint.tmp", "DEVICE\r\n");
    }
    std::vector<std::string> args = c.options;
    args.push_back("--layout-only");
    args.push_back(folder);
    Result r = Demo(args);
    EXPECT_EQ(r.code, c.code) << c.name << "\n" << r.out << r.err;
    if (c.code == 0) {
      EXPECT_TRUE(fs::is_regular_file(folder + "/DADES/PropietH.dat")) << c.name;
      EXPECT_TRUE(fs::is_regular_file(folder + "/.plecavun-demo")) << c.name;
      EXPECT_FALSE(fs::exists(folder + "/left-over.txt")) << c.name;
      EXPECT_FALSE(fs::exists(folder + "/TMP/zurprint.tmp")) << c.name;
    } else {
      EXPECT_TRUE(Contains(r.err, c.err)) << c.name << ": " << r.err;
    }
    if (c.prepare == "user") {
      EXPECT_EQ(ReadFile(folder + "/notes.txt"), keep) << c.name;
    }
    if (c.prepare == "file") {
      EXPECT_EQ(ReadFile(folder), keep) << c.name;
    }
    if (c.code != 0 && c.prepare.empty()) {
      EXPECT_FALSE(fs::exists(folder)) << c.name;
    }
    // No work folder is left beside the target, whatever the outcome.
    for (const auto& e : fs::directory_iterator(parent.path())) {
      EXPECT_EQ(e.path().filename().string(), "demo") << c.name;
    }
  }
}

TEST_F(InstalledDemo, OpensTheModuleWhichPrintsThroughTheInstalledPrintProgram) {
  if (!TmuxSession::Available()) GTEST_SKIP() << "tmux is not installed";
  const std::string folder = *home_ / "demo";
  TmuxOptions options;
  options.command = {Bin("plecavun-demo"), "--date", "20260315", folder};
  // TERM is the one tmux gives its terminal.
  for (const auto& [name, value] : With(Env(), {{"ZURTODAY", "2026-03-15"}})) {
    if (name != "TERM") options.environment.emplace_back(name, value);
  }
  options.workingDirectory = home_->path();
  TmuxSession s(options);
  ASSERT_TRUE(s.Started()) << s.Error();
  ASSERT_TRUE(s.WaitForText("Cartes i etiquetes als propietaris", 30000)) << s.LastScreen();
  ASSERT_TRUE(s.WaitForText("Data de les cartes")) << s.LastScreen();

  // Reminders of pending receipts: the date as it stands, the template RECORDA, the
  // screen accepted with F10 and the batch confirmed.
  s.SendKeys({"Enter", "C-y"});
  s.SendText("RECORDA");
  s.SendKeys({"F10"});
  ASSERT_TRUE(s.WaitForText("Imprimeixo la tramesa?")) << s.LastScreen();
  s.SendKeys({"Enter"});
  ASSERT_TRUE(s.WaitForText("TRAMESA ENVIADA A IMPRIMIR", 60000)) << s.LastScreen();
  const std::optional<std::string> pdf = ReadFile(folder + "/TMP/zurprint.pdf");
  ASSERT_TRUE(pdf.has_value());
  EXPECT_EQ(pdf->rfind("%PDF-", 0), 0u);

  s.SendKeys({"Enter"});
  ASSERT_TRUE(s.WaitFor([](const std::string& screen) {
    return !Contains(screen, "TRAMESA ENVIADA A IMPRIMIR") &&
           Contains(screen, "Data de les cartes");
  })) << s.LastScreen();
  s.SendKeys({"Escape"});
  EXPECT_EQ(s.WaitForExit(20000), 0) << s.LastScreen();
}

}  // namespace
