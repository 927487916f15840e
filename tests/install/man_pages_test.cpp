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

bool IsNameChar(char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-'; }

// Every "--name" in text.
Names LongOptions(const std::string& text) {
  Names names;
  for (size_t at = text.find("--"); at != std::string::npos; at = text.find("--", at + 1)) {
    if (at > 0 && IsNameChar(text[at - 1])) continue;
    size_t end = at + 2;
    while (end < text.size() && IsNameChar(text[end])) ++end;
    if (end > at + 2 && text[at + 2] != '-') names.insert(text.substr(at, end - at));
    at = end - 1;
  }
  return names;
}

size_t Indent(const std::string& line) {
  const size_t first = line.find_first_not_of(' ');
  return first == std::string::npos ? line.size() : first;
}

Help ParseHelp(const std::string& text) {
  Help h;
  bool inCommands = false;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    while (!line.empty() && (line.back() == ' ' || line.back() == '\r')) line.pop_back();
    if (line.empty()) continue;
    const size_t indent = Indent(line);
    if (indent == 0) {
      // A block header ("Options:", "Команды:") or other text at the margin.
      const bool header = line.back() == ':';
      inCommands = header && (line.find("ommand") != std::string::npos || line.find("оманд") != std::string::npos ||
                              line.find("ОМАНД") != std::string::npos);
    } else if (line[indent] == '-') {
      // "-h,--help", "-q, --quiet": the names before the first plain word.
      size_t end = indent;
      while (end < line.size()) {
        const size_t space = line.find(' ', end);
        const std::string word = line.substr(end, space == std::string::npos ? std::string::npos : space - end);
        if (word.empty() || (word[0] != '-' && end != indent)) break;
        if (space == std::string::npos) {
          end = line.size();
          break;
        }
        end = space + 1;
        if (word.back() != ',') break;  // a group continues only after a comma
      }
      for (const std::string& o : LongOptions(line.substr(indent, end - indent))) h.options.insert(o);
    } else if (inCommands && indent <= 4 && line[indent] >= 'a' && line[indent] <= 'z') {
      // Commands stand near the margin; wrapped descriptions far from it.
      size_t end = indent;
      while (end < line.size() && IsNameChar(line[end])) ++end;
      h.commands.insert(line.substr(indent, end - indent));
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

// Troff text to plain text: \- to -, font changes and quotes dropped, ends trimmed.
std::string Unescape(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size() && s[i + 1] == '-') {
      out += '-';
      ++i;
    } else if (s[i] == '\\' && i + 1 < s.size() && s[i + 1] == 'f') {
      // \fB, \f(CW, \f[BI]
      i += 2;
      if (i < s.size() && s[i] == '(') i += 2;
      else if (i < s.size() && s[i] == '[') i = s.find(']', i) == std::string::npos ? s.size() : s.find(']', i);
    } else if (s[i] != '"') {
      out += s[i];
    }
  }
  const size_t first = out.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return out.substr(first, out.find_last_not_of(" \t") - first + 1);
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
      scope = Unescape(line.substr(3));
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
