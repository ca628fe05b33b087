// qel-probe as a user runs it: the programs built beside this test, real
// files, a private config folder.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/metadata/metadata.h"
#include "core/text/encoding.h"
#include "layouts.h"

extern char** environ;

namespace qel::test {
namespace {

using namespace layouts;

std::string BuiltProgram(const std::string& name) {
  return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / name).string();
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

struct Ran {
  std::string out, err;
  int status = -1;
};

// Runs argv with the environment plus the given NAME=value settings.
Ran RunProgram(const TempDir& dir, const std::vector<std::string>& argv, const std::vector<std::string>& settings) {
  std::vector<std::string> env = settings;
  for (char** e = environ; *e; ++e) {
    std::string s = *e;
    bool replaced = false;
    for (const auto& n : settings) replaced |= s.compare(0, n.find('=') + 1, n, 0, n.find('=') + 1) == 0;
    if (!replaced) env.push_back(s);
  }
  std::vector<char*> args, envp;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
  args.push_back(nullptr);
  envp.push_back(nullptr);
  const std::string out = dir.path() + "/stdout", err = dir.path() + "/stderr";
  pid_t pid = fork();
  if (pid == 0) {
    int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(o, 1);
    dup2(e, 2);
    execve(args[0], args.data(), envp.data());
    _exit(127);
  }
  Ran ran;
  waitpid(pid, &ran.status, 0);
  ran.out = Slurp(out);
  ran.err = Slurp(err);
  return ran;
}

std::string Unescape(std::string_view field) {
  std::string out;
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] != '\\' || i + 1 == field.size()) {
      out.push_back(field[i]);
      continue;
    }
    char c = field[++i];
    out.push_back(c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c);
  }
  return out;
}

class QelProbe : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(probe_)) GTEST_SKIP() << "qel-probe is not built beside this test";
    ASSERT_FALSE(dir_.path().empty());
    std::filesystem::create_directories(dir_.path() + "/config");
  }
  std::string Fixture(const char* name) { return std::string(QEL_SOURCE_DIR) + "/tests/data/metadata/" + name; }
  // No user's ini: a config folder of the test's own.
  std::vector<std::string> Env(std::vector<std::string> more = {}) {
    more.push_back("XDG_CONFIG_HOME=" + dir_.path() + "/config");
    return more;
  }

  TempDir dir_;
  std::string probe_ = BuiltProgram("qel-probe");
};

TEST_F(QelProbe, TitlesLoadNoMediaLibraries) {
  // The loader names every library it maps, at start and when dlopen'ed.
  Ran r = RunProgram(dir_, {probe_, "--titles", Fixture("tagged.mp3")}, Env({"LD_DEBUG=files"}));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, Fixture("tagged.mp3") + "\tMorning Tone\n");
  ASSERT_NE(r.err.find("file=libc.so"), std::string::npos) << "the loader reported nothing";
  for (const char* lib : {"libQt6", "libmpv", "libavformat", "libfluidsynth", "libasound"})
    EXPECT_EQ(r.err.find(lib), std::string::npos) << lib << " was loaded";
}

TEST_F(QelProbe, EveryFileOneLine) {
  const std::string titled = Tag(3, Frame(3, "TIT2", std::string("\0Tab\there\\", 11)));
  const std::string plain = Tag(3, Frame(3, "TIT2", std::string("\0Plain", 6)));
  const std::vector<std::pair<std::string, std::string>> files = {
      {dir_.Write("tab\tin name.mp3", plain), "Plain"},
      {dir_.Write("line\nbreak.mp3", plain), "Plain"},
      {dir_.Write("carriage\rreturn.mp3", plain), "Plain"},
      {dir_.Write("back\\slash\\t.mp3", plain), "Plain"},
      {dir_.Write("title with a tab.mp3", titled), "Tab\there\\"},
      {dir_.Write("untagged.mp3", "no tag"), ""},
  };
  std::vector<std::string> argv = {probe_, "--titles"};
  for (const auto& f : files) argv.push_back(f.first);
  Ran r = RunProgram(dir_, argv, Env());
  ASSERT_EQ(r.status, 0);
  std::vector<std::string> lines;
  for (size_t start = 0, end; (end = r.out.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(r.out.substr(start, end - start));
  ASSERT_EQ(lines.size(), files.size()) << r.out;
  for (size_t i = 0; i < files.size(); ++i) {
    size_t tab = lines[i].find('\t');
    ASSERT_NE(tab, std::string::npos) << lines[i];
    EXPECT_EQ(lines[i].find('\t', tab + 1), std::string::npos) << lines[i];
    EXPECT_EQ(lines[i].find('\r'), std::string::npos) << lines[i];
    EXPECT_EQ(Unescape(lines[i].substr(0, tab)), files[i].first);
    EXPECT_EQ(Unescape(lines[i].substr(tab + 1)), files[i].second);
  }
}

TEST_F(QelProbe, OldTagsInTheUsersCodePage) {
  // An ID3v1 title written on a Western Windows system.
  const std::string mp3 = dir_.Write("v1.mp3", std::string(200, 'a') + "TAG" + "Caf\xE9 \x80" + Z(119));
  std::filesystem::create_directories(dir_.path() + "/config/qel");
  std::ofstream(dir_.path() + "/config/qel/qel.ini") << "[UserSetting]\nAnsiCodePage=CP1252\n";
  EXPECT_EQ(RunProgram(dir_, {probe_, "--titles", mp3}, Env()).out, mp3 + "\tCafé €\n");
  // Without the key the default code page stands, as in the player.
  std::ofstream(dir_.path() + "/config/qel/qel.ini") << "[UserSetting]\n";
  SetLegacyCodePage("");
  EXPECT_EQ(RunProgram(dir_, {probe_, "--titles", mp3}, Env()).out, mp3 + "\t" + ReadTitle(mp3) + "\n");
}

TEST_F(QelProbe, FullListing) {
  if (!std::filesystem::exists(BuiltProgram("qel-probe-media"))) GTEST_SKIP() << "built without the desktop";
  Ran r = RunProgram(dir_, {probe_, Fixture("tagged.mp3"), Fixture("tagged.flac")}, Env({"QEL_AUDIO_OUTPUT=null"}));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, Fixture("tagged.mp3") + "\tMorning Tone\t3\t22\t16x12\n" + Fixture("tagged.flac") + "\tLossless Tone\t4\t0\t-\n");
}

}  // namespace
}  // namespace qel::test
