// SPDX-License-Identifier: BSD-2-Clause-Patent
// README and the documents under docs/: every relative link reaches a file
// and, with an #anchor, a heading of that file; every example marked
// `<!-- output of: sio ARGS -->` shows what the build's `sio` prints for ARGS.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "common/BuildPaths.h"

namespace {

namespace fs = std::filesystem;

std::string ReadText(const fs::path& Path) {
  std::ifstream In(Path, std::ios::binary);
  EXPECT_TRUE(In) << "cannot open " << Path;
  return {std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
}

std::vector<std::string> SplitLines(const std::string& Text) {
  std::vector<std::string> Lines;
  std::istringstream In(Text);
  for (std::string Line; std::getline(In, Line);)
    Lines.push_back(Line);
  return Lines;
}

bool IsFence(const std::string& Line) {
  return Line.rfind("```", 0) == 0;
}

// README and every document under docs/.
std::vector<fs::path> Documents() {
  std::vector<fs::path> Paths{sio::build::kReadme};
  for (const auto& Entry : fs::directory_iterator(sio::build::kDocsDir))
    if (Entry.path().extension() == ".md")
      Paths.push_back(Entry.path());
  return Paths;
}

// The anchor a Markdown renderer gives a heading: lower case, code marks and
// punctuation dropped, spaces turned into hyphens.
std::string Slug(const std::string& Heading) {
  std::string Out;
  for (unsigned char C : Heading) {
    if (std::isalnum(C))
      Out += static_cast<char>(std::tolower(C));
    else if (C == ' ' || C == '-')
      Out += '-';
    else if (C == '_')
      Out += '_';
  }
  return Out;
}

// Every anchor of a document; a repeated heading gets -1, -2, ...
std::set<std::string> Anchors(const fs::path& Document) {
  std::set<std::string> Result;
  std::map<std::string, int> Seen;
  bool InFence = false;
  for (const auto& Line : SplitLines(ReadText(Document))) {
    if (IsFence(Line))
      InFence = !InFence;
    if (InFence || Line.empty() || Line[0] != '#')
      continue;
    const auto Text = Line.substr(Line.find_first_not_of('#'));
    const auto Base = Slug(Text.substr(Text.find_first_not_of(' ')));
    const int Count = Seen[Base]++;
    Result.insert(Count == 0 ? Base : Base + "-" + std::to_string(Count));
  }
  return Result;
}

// The targets of the inline links of a document's prose (fenced blocks and
// code spans left out), links broken over lines included.
std::vector<std::string> LinkTargets(const fs::path& Document) {
  std::string Prose;
  bool InFence = false;
  for (const auto& Line : SplitLines(ReadText(Document))) {
    if (IsFence(Line)) {
      InFence = !InFence;
      continue;
    }
    if (!InFence)
      Prose += Line + ' ';
  }
  Prose = std::regex_replace(Prose, std::regex("`[^`]*`"), "");
  std::vector<std::string> Targets;
  const std::regex Link(R"(\[[^\]]*\]\(([^)\s]+)\))");
  for (std::sregex_iterator It(Prose.begin(), Prose.end(), Link), End; It != End; ++It)
    Targets.push_back((*It)[1]);
  return Targets;
}

TEST(DocsTest, AnchorsOfHeadings) {
  const std::array<std::pair<const char*, const char*>, 4> Cases{{
      {"Checking a board: `sio inspect`", "checking-a-board-sio-inspect"},
      {"What `scripts/test.sh` runs", "what-scriptstestsh-runs"},
      {"Dispatch dependency: `SIO_DEPEX`", "dispatch-dependency-sio_depex"},
      {"The chip found (`--chip`, `--first`)", "the-chip-found---chip---first"},
  }};
  for (const auto& [Heading, Anchor] : Cases)
    EXPECT_EQ(Slug(Heading), Anchor) << Heading;
}

TEST(DocsTest, RelativeLinksResolve) {
  size_t Checked = 0;
  for (const auto& Document : Documents()) {
    for (const auto& Target : LinkTargets(Document)) {
      if (Target.find("://") != std::string::npos || Target.rfind("mailto:", 0) == 0)
        continue;
      ++Checked;
      const auto Hash = Target.find('#');
      const auto File = Target.substr(0, Hash);
      const fs::path Path = File.empty() ? Document : Document.parent_path() / File;
      if (!fs::exists(Path)) {
        ADD_FAILURE() << Document << ": link to " << Target << ": no such file";
        continue;
      }
      if (Hash == std::string::npos)
        continue;
      const auto Anchor = Target.substr(Hash + 1);
      EXPECT_TRUE(Path.extension() == ".md" && Anchors(Path).count(Anchor))
          << Document << ": link to " << Target << ": no heading with that anchor in " << Path;
    }
  }
  // README points into every document: a reader that finds no link checks nothing.
  EXPECT_GE(Checked, Documents().size());
}

// The stdout and exit status of the build's `sio` run with ARGS in the source
// tree; `build/default/` in ARGS and the output stands for this build's tree.
struct Run {
  std::string Out;
  int Exit = -1;
};

std::string Replace(std::string Text, const std::string& From, const std::string& To) {
  for (size_t At = 0; (At = Text.find(From, At)) != std::string::npos; At += To.size())
    Text.replace(At, From.size(), To);
  return Text;
}

Run RunSio(const std::string& Args) {
  const std::string BuildDir = std::string(sio::build::kBuildDir) + "/";
  std::string Command =
      "cd '" + std::string(sio::build::kSourceDir) + "' && '" + sio::build::kSioFile + "'";
  std::istringstream Words(Replace(Args, "build/default/", BuildDir));
  for (std::string Word; Words >> Word;)
    Command += " '" + Word + "'";
  Run Result;
  FILE* Pipe = popen(Command.c_str(), "r");
  if (!Pipe)
    return Result;
  std::array<char, 4096> Buffer;
  for (size_t N; (N = fread(Buffer.data(), 1, Buffer.size(), Pipe)) > 0;)
    Result.Out.append(Buffer.data(), N);
  const int Status = pclose(Pipe);
  Result.Exit = WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
  Result.Out = Replace(Result.Out, BuildDir, "build/default/");
  return Result;
}

// Where the lines of Part sit, one after another, in Lines from From on.
size_t FindRun(const std::vector<std::string>& Lines, const std::vector<std::string>& Part,
               size_t From) {
  for (size_t At = From; At + Part.size() <= Lines.size(); ++At)
    if (std::equal(Part.begin(), Part.end(), Lines.begin() + At))
      return At;
  return std::string::npos;
}

// An example's shown lines against the real output: a line `...` leaves out
// any number of lines; each run of lines between them must appear as shown, in
// order, and without a leading or closing `...` the example starts or ends
// where the output does.
std::string CompareShown(const std::vector<std::string>& Shown,
                         const std::vector<std::string>& Real) {
  std::vector<std::vector<std::string>> Parts(1);
  for (const auto& Line : Shown) {
    if (Line == "...")
      Parts.emplace_back();
    else
      Parts.back().push_back(Line);
  }
  size_t At = 0;
  for (size_t I = 0; I < Parts.size(); ++I) {
    const auto& Part = Parts[I];
    // The first run starts the output; the last ends it, unless a closing
    // `...` left it empty.
    const bool Last = I + 1 == Parts.size();
    const bool MustEnd = Last && !(I > 0 && Part.empty());
    size_t Found = std::string::npos;
    if (MustEnd) {
      const size_t From = Real.size() >= Part.size() ? Real.size() - Part.size() : 0;
      if (Real.size() >= Part.size() && From >= At && (I > 0 || From == 0) &&
          std::equal(Part.begin(), Part.end(), Real.begin() + From))
        Found = From;
    } else {
      Found = FindRun(Real, Part, At);
      if (I == 0 && Found != 0)
        Found = std::string::npos;
    }
    if (Found == std::string::npos)
      return "shown lines from \"" + (Part.empty() ? std::string("(end)") : Part.front()) +
             "\" are not in the real output as shown";
    At = Found + Part.size();
  }
  return "";
}

TEST(DocsTest, ShownOutputMatchesARealRun) {
  const std::regex Mark(R"(^<!-- output of: sio (.*) -->$)");
  std::map<std::string, int> Examples;
  for (const auto& Document : Documents()) {
    const auto Lines = SplitLines(ReadText(Document));
    for (size_t I = 0; I < Lines.size(); ++I) {
      std::smatch Match;
      if (!std::regex_match(Lines[I], Match, Mark))
        continue;
      const std::string Args = Match[1];
      const auto Where = Document.filename().string() + ":" + std::to_string(I + 1);
      ++Examples[Document.filename().string()];
      ASSERT_TRUE(I + 1 < Lines.size() && IsFence(Lines[I + 1])) << Where << ": no block follows";
      // The block: an optional `$ sio ARGS` line, the output, and optionally
      // `$ echo $?` with the exit status.
      std::vector<std::string> Shown;
      size_t J = I + 2;
      if (J < Lines.size() && Lines[J].rfind("$ ", 0) == 0) {
        EXPECT_EQ(Lines[J], "$ sio " + Args) << Where;
        ++J;
      }
      for (; J < Lines.size() && !IsFence(Lines[J]) && Lines[J].rfind("$ ", 0) != 0; ++J)
        Shown.push_back(Lines[J]);
      int ShownExit = 0;
      if (J + 1 < Lines.size() && Lines[J] == "$ echo $?")
        ShownExit = std::stoi(Lines[J + 1]);
      const auto Real = RunSio(Args);
      EXPECT_EQ(Real.Exit, ShownExit) << Where << ": sio " << Args;
      const auto Difference = CompareShown(Shown, SplitLines(Real.Out));
      EXPECT_EQ(Difference, "") << Where << ": sio " << Args << "\nreal output:\n" << Real.Out;
    }
  }
  // The quick start's run and the image's board values are shown and checked.
  EXPECT_GE(Examples["README.md"], 1);
  EXPECT_GE(Examples["integrators-guide.md"], 1);
}

TEST(DocsTest, ComparisonOfShownLines) {
  const std::vector<std::string> Real{"a", "b", "c", "d"};
  const std::array<std::pair<std::vector<std::string>, bool>, 10> Cases{{
      {{"a", "b", "c", "d"}, true},
      {{"a", "...", "d"}, true},
      {{"...", "b", "c", "..."}, true},
      {{"a", "b", "c"}, false},        // the end left out without `...`
      {{"b", "c", "d"}, false},        // the start left out without `...`
      {{"a", "c", "...", "d"}, false}, // a line left out inside a run
      {{"a", "...", "x"}, false},
      {{"...", "c", "...", "b", "..."}, false}, // out of order
      {{"...", "d"}, true},
      {{}, false},
  }};
  for (const auto& [Shown, Matches] : Cases)
    EXPECT_EQ(CompareShown(Shown, Real).empty(), Matches) << ::testing::PrintToString(Shown);
}

TEST(DocsTest, ReadmeStaysShort) {
  EXPECT_LE(SplitLines(ReadText(sio::build::kReadme)).size(), 250u);
}

} // namespace
