// The manual pages name every command and every long option that --help of
// the programs lists, and nothing more. Names are compared, not texts.
//
// In --help: an option is a line starting with "-" (its leading "-h,--help"
// group); the commands are the lines of the block under the header that
// names commands ("Subcommands:", "Команды:"). Nested commands are followed.
// In a page: see the layout note at the top of packaging/man/*.1.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Names = std::set<std::string>;

struct Help {
  Names options;
  Names commands;
};

std::string Capture(const std::string& command, int& status) {
  std::string out;
  FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
  if (pipe == nullptr) {
    status = -1;
    return out;
  }
  char buf[4096];
  size_t n = 0;
  while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
  status = ::pclose(pipe);
  return out;
}

Names LongOptions(const std::string& text) {
  Names names;
  static const std::regex option(R"(--[a-z0-9][a-z0-9-]*)");
  for (std::sregex_iterator it(text.begin(), text.end(), option), end; it != end; ++it) names.insert(it->str());
  return names;
}

Help ParseHelp(const std::string& text) {
  Help h;
  static const std::regex header(R"(^\S.*:\s*$)");
  static const std::regex commandsHeader(R"(ommands|оманд)", std::regex::icase);
  // "-h,--help", "-q, --quiet": the names before the first plain word.
  static const std::regex optionLine(R"(^\s+(-[^\s,]*(,\s*-[^\s,]*)*))");
  // Commands stand near the margin; wrapped descriptions far from it.
  static const std::regex commandLine(R"(^ {1,4}([a-z][a-z0-9-]*)(\s|$))");
  bool inCommands = false;
  std::istringstream in(text);
  std::string line;
  std::smatch m;
  while (std::getline(in, line)) {
    if (std::regex_match(line, header)) {
      inCommands = std::regex_search(line, commandsHeader);
    } else if (std::regex_search(line, m, optionLine)) {
      for (const std::string& o : LongOptions(m[1].str())) h.options.insert(o);
    } else if (inCommands && std::regex_search(line, m, commandLine)) {
      h.commands.insert(m[1].str());
    } else if (!line.empty() && line[0] != ' ') {
      inCommands = false;
    }
  }
  return h;
}

// Options of each scope of a page: "" is the program itself, "run" or
// "study run" a command.
struct Page {
  std::map<std::string, Names> options;
  bool loaded = false;
};

// Troff text to plain text: \- to -, font changes and quotes dropped.
std::string Unescape(std::string s) {
  s = std::regex_replace(s, std::regex(R"(\\f(\[[^\]]*\]|\(..|.))"), "");
  s = std::regex_replace(s, std::regex(R"(\\-)"), "-");
  s = std::regex_replace(s, std::regex(R"(")"), "");
  return s;
}

Page ParsePage(const std::string& path) {
  Page page;
  std::ifstream in(path);
  if (!in) return page;
  page.loaded = true;
  enum class Section { Other, Options, Commands } section = Section::Other;
  std::string scope;
  bool inScope = false;
  bool tagNext = false;
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(".\\\"", 0) == 0) continue;  // comment
    if (line.rfind(".SH", 0) == 0) {
      const std::string title = Unescape(line.substr(3));
      section = title.find("ПАРАМЕТРЫ") != std::string::npos  ? Section::Options
                : title.find("КОМАНДЫ") != std::string::npos ? Section::Commands
                                                              : Section::Other;
      inScope = section == Section::Options;
      scope.clear();
      if (inScope) page.options[scope];
      tagNext = false;
    } else if (line.rfind(".SS", 0) == 0 && section == Section::Commands) {
      scope = std::regex_replace(Unescape(line.substr(3)), std::regex(R"(^\s+|\s+$)"), "");
      inScope = true;
      page.options[scope];
      tagNext = false;
    } else if (line.rfind(".TP", 0) == 0) {
      tagNext = inScope;
    } else if (tagNext) {
      for (const std::string& o : LongOptions(Unescape(line))) page.options[scope].insert(o);
      tagNext = false;
    }
  }
  return page;
}

// Compares one command (and its nested commands) of a program with the page.
void Compare(const std::string& exe, const std::string& scope, const Page& page,
             const std::string& pageName, std::set<std::string>& seenScopes, int depth = 0) {
  std::string command = exe;
  if (!scope.empty()) command.append(" ").append(scope);
  std::string shown = "`";
  shown.append(command.substr(exe.find_last_of('/') + 1)).append(" --help`");
  int status = 0;
  const std::string text = Capture(command + " --help", status);
  ASSERT_EQ(status, 0) << shown << " failed";
  const Help help = ParseHelp(text);
  EXPECT_FALSE(help.options.empty()) << shown << " lists no option at all; has its layout changed?\n" << text;
  seenScopes.insert(scope);
  std::string section = pageName;
  section.append(", ").append(scope.empty() ? std::string("ПАРАМЕТРЫ") : ".SS \"" + scope + "\"");
  const auto where = page.options.find(scope);
  if (where == page.options.end()) {
    ADD_FAILURE() << "no section " << section << " for " << shown;
  } else {
    for (const std::string& o : help.options) {
      // --help of every command is described once, among the program's options.
      const bool describedOnce = o == "--help" && !scope.empty();
      if (!describedOnce && !where->second.count(o))
        ADD_FAILURE() << o << " is listed by " << shown << " but missing from " << section;
    }
    for (const std::string& o : where->second) {
      if (!help.options.count(o)) ADD_FAILURE() << o << " is in " << section << " but not listed by " << shown;
    }
  }
  if (depth >= 3) return;
  for (const std::string& c : help.commands) {
    Compare(exe, scope.empty() ? c : scope + " " + c, page, pageName, seenScopes, depth + 1);
  }
}

TEST(ManualPages, ListTheCommandsAndOptionsOfHelp) {
  struct Row {
    const char* page;
    std::string exe;
  };
  std::vector<Row> rows{{"rinfet-mdv-batch.1", MDV_BATCH_EXE}};
#ifdef MDV_GUI_EXE
  rows.push_back({"rinfet-mdv.1", MDV_GUI_EXE});
#endif
  for (const Row& r : rows) {
    SCOPED_TRACE(r.page);
    const Page page = ParsePage(std::string(MDV_SOURCE_DIR) + "/packaging/man/" + r.page);
    ASSERT_TRUE(page.loaded) << r.page;
    std::set<std::string> seen;
    Compare(r.exe, "", page, r.page, seen);
    for (const auto& [scope, options] : page.options) {
      if (!seen.count(scope)) ADD_FAILURE() << r.page << " describes the command \"" << scope << "\", which --help does not list";
    }
  }
}

TEST(ManualPages, ParsersFindNamesNotTexts) {
  // A CLI11-style help: option groups with their type and exclusions, wrapped
  // descriptions that mention other options, upper-case positionals.
  const Help top = ParseHelp(
      "Tool\nUsage: x [OPTIONS] SUBCOMMAND\n\nOptions:\n  -h,--help   Print help\n\n"
      "Команды:\n  run         Run it, see --load.\n              more text\n  vortex-area  Zone\n");
  EXPECT_EQ(top.options, (Names{"--help"}));
  EXPECT_EQ(top.commands, (Names{"run", "vortex-area"}));
  const Help run = ParseHelp(
      "Usage: x run [OPTIONS] FILE\n\nPositionals:\n  FILE TEXT REQUIRED  file\n\nOptions:\n"
      "  -q, --quiet  no output, unlike --verbose\n  --load TEXT Excludes: --plane-x\n"
      "                              continue from --save\n");
  EXPECT_EQ(run.options, (Names{"--quiet", "--load"}));
  EXPECT_TRUE(run.commands.empty());
}

}  // namespace
