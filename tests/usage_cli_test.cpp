// What every tool answers before it looks at its arguments: no argument at
// all, --help and --version; and the settings every tool reads the same way.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <string>
#include <vector>

#include "chunking/kernels/tier_choice.h"
#include "tests/reference_model.h"
#include "tests/tool_runner.h"

namespace {

// The exit code of a failed run, as --help's exit status gives it ("N anything
// went wrong"); -1 when it says none.
int documented_failure_code(const std::string& help) {
  const std::size_t said = help.find(" anything went wrong");
  if (said == std::string::npos || said == 0 || !std::isdigit(static_cast<unsigned char>(help[said - 1]))) return -1;
  return help[said - 1] - '0';
}

std::string upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// The version text of a build with the tier line `tiers` whose chunksig runs
// `runs` on this CPU, lowered by a CHUNKTOOLS_CPU_TIER setting from
// `supported` when `lowered`.
std::string version_text(const std::string& tool, const std::string& tiers, const std::string& runs, bool lowered,
                         const std::string& supported) {
  std::string text =
      tool + " (chunktools) " CHUNKTOOLS_VERSION "\n" + tiers + "\n" + "chunksig on this CPU runs: " + runs;
  if (lowered) text += " (CHUNKTOOLS_CPU_TIER is set; the CPU supports " + supported + ")";
  return text + "\n";
}

// The tier line of this test's own build, which is the tools' build unless
// they run under an emulator or Wine.
std::string own_tier_line() {
  std::string line = "chunk kernel tiers of this build (" CHUNKTOOLS_TIER_TABLE " table):";
  for (CpuTier tier = 0; tier < kTierCount; ++tier) line += std::string(" ") + cpu_tier_name(tier);
  return line;
}

class Usage : public testing::TestWithParam<std::string> {};

TEST_P(Usage, NoArgumentsHelpAndVersion) {
  const std::string& tool = GetParam();
  const std::string path = tool_path(tool);

  // The help is prose; its frame is the contract: the usage line first, every
  // tool's setting, the exit status, and where the manual is last.
  RunResult result = run_tool(path, {"--help"});
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.errors, "");
  const std::string usage_line = result.console.substr(0, result.console.find('\n') + 1);
  EXPECT_EQ(usage_line.substr(0, 8 + tool.size()), "Usage: " + tool + " ");
  EXPECT_GT(usage_line.size(), 9 + tool.size()) << "the usage line names the arguments";
  const int failure_code = documented_failure_code(result.console);
  EXPECT_TRUE(failure_code == 1 || failure_code == 2) << result.console;
  EXPECT_NE(result.console.find("\n  CHUNKTOOLS_VERBOSE=1 "), std::string::npos);
  EXPECT_NE(result.console.find("\nExit status: 0 "), std::string::npos);
  const std::string manual =
      "\nThe manual: man " + tool + " (on Windows, README.md beside the programs)\n";
  ASSERT_GE(result.console.size(), manual.size());
  EXPECT_EQ(result.console.substr(result.console.size() - manual.size()), manual);

  // No argument: the same usage line and a pointer to --help, on standard
  // error, with the exit code of a failed run.
  result = run_tool(path, {});
  EXPECT_EQ(result.exit_code, failure_code);
  EXPECT_EQ(result.console, "");
  EXPECT_EQ(result.errors, usage_line + "Try '" + tool + " --help' for more.\n");

  // The tier chunksig runs, as a bug report quotes it. A foreign build's
  // tiers are its own: its lines are read from the first run, and held
  // against this build's only when the tools are this build's.
  result = run_tool(path, {"--version"});
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.errors, "");
  const std::string first_line = tool + " (chunktools) " CHUNKTOOLS_VERSION "\n";
  const std::size_t tiers_end = result.console.find('\n', first_line.size());
  ASSERT_NE(tiers_end, std::string::npos);
  const std::string tiers = result.console.substr(first_line.size(), tiers_end - first_line.size());
  const std::string runs_prefix = "\nchunksig on this CPU runs: ";
  ASSERT_EQ(result.console.compare(tiers_end, runs_prefix.size(), runs_prefix), 0);
  const std::string best = result.console.substr(tiers_end + runs_prefix.size(),
                                                 result.console.size() - 1 - tiers_end - runs_prefix.size());
  EXPECT_EQ(result.console, version_text(tool, tiers, best, false, best));
  EXPECT_NE((tiers + " ").find(" " + best + " "), std::string::npos) << "the tier run is one of the build's";
  if (std::getenv("CHUNKTOOLS_TOOL_WRAPPER") == nullptr) {
    EXPECT_EQ(tiers, own_tier_line());
    EXPECT_EQ(best, cpu_tier_name(supported_cpu_tier()));
  }
  // The setting is read without regard to case; an empty one is none.
  const struct {
    std::string setting;
    std::string runs;
    bool lowered;
  } settings[] = {{"", best, false}, {"PORTABLE", "portable", true}, {"Portable", "portable", true},
                  {upper(best), best, true}};
  for (const auto& setting : settings) {
    RunOptions options;
    options.environment = {"CHUNKTOOLS_CPU_TIER=" + setting.setting};
    result = run_tool(path, {"--version"}, options);
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.errors, "");
    EXPECT_EQ(result.console, version_text(tool, tiers, setting.runs, setting.lowered, best)) << setting.setting;
  }
}

INSTANTIATE_TEST_SUITE_P(EveryTool, Usage, testing::ValuesIn(tool_names()),
                         [](const testing::TestParamInfo<std::string>& param_info) { return param_info.param; });

// Only the lone argument asks for help: a file named --help is reached by
// its path, and with another argument beside it the tool runs as it always
// did, on a file of that name.
TEST(Usage, AFileNamedHelpStaysReachable) {
  ScratchDir dir;
  write_file(dir.path("--help"), signature_record(0x01020304, 0x0A0B0C0D, 7));
  RunResult result = run_tool(tool_path("sigdump"), {dir.path("--help")});
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.console, "0 7 01020304 0A0B0C0D\n");
  RunOptions verbose;
  verbose.environment = {kVerbose};
  result = run_tool(tool_path("sigdump"), {"--help", "ignored"}, verbose);
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(result.console, "");
  EXPECT_EQ(result.errors.substr(0, 46), "sigdump: cannot open signature file '--help': ");
}

// "--" first ends the options in every tool: a file named --help or
// --version is then a path like any other, never a request for help.
TEST(Usage, DoubleDashEndsTheOptions) {
  ScratchDir dir;
  write_file(dir.path("--help"), signature_record(0x01020304, 0x0A0B0C0D, 7));
  RunOptions in_dir;
  in_dir.working_dir = dir.root();
  for (const std::string& tool : tool_names()) {
    for (const char* option : {"--help", "--version"}) {
      const RunResult result = run_tool(tool_path(tool), {"--", option}, in_dir);
      EXPECT_EQ(result.console.find("(chunktools)"), std::string::npos) << tool << " -- " << option;
      EXPECT_EQ(result.console.find("Usage:"), std::string::npos) << tool << " -- " << option;
    }
  }
  RunResult result = run_tool(tool_path("sigdump"), {"--", "--help"}, in_dir);
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.console, "0 7 01020304 0A0B0C0D\n");
  // sigdiff's options end at a first "--", and after --summary too.
  const std::string summary = "1 chunks, 0 new (0.00%); 7 bytes, 0 new (0.00%)\n";
  for (const std::vector<std::string>& args : {std::vector<std::string>{"--summary", "--", "--help", "--help"},
                                               std::vector<std::string>{"--", "--help", "--help"}}) {
    result = run_tool(tool_path("sigdiff"), args, in_dir);
    EXPECT_EQ(result.exit_code, 0) << testing::PrintToString(args);
    EXPECT_EQ(result.console, args[0] == "--summary" ? summary : "") << testing::PrintToString(args);
  }
  RunOptions verbose = in_dir;
  verbose.environment = {kVerbose};
  result = run_tool(tool_path("sigdiff"), {"--", "--summary", "--help"}, verbose);
  EXPECT_EQ(result.exit_code, 2);
  const std::string reason = "sigdiff: cannot open old signature file '--summary': ";
  EXPECT_EQ(result.errors.substr(0, reason.size()), reason);
}

// CHUNKTOOLS_VERBOSE: set to anything but nothing or 0, a failure's reason.
TEST(Usage, VerboseSettings) {
  ScratchDir dir;
  const std::string missing = dir.path("missing");
  const std::string reason = "idxdump: cannot open index file '" + missing + "': ";
  const struct {
    const char* setting;
    bool says_why;
  } cases[] = {{nullptr, false}, {"", false}, {"0", false}, {"1", true}, {"yes", true}, {"00", true}};
  for (const auto& c : cases) {
    RunOptions options;
    if (c.setting != nullptr) options.environment = {std::string("CHUNKTOOLS_VERBOSE=") + c.setting};
    const RunResult result = run_tool(tool_path("idxdump"), {missing}, options);
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(result.console, "");
    EXPECT_EQ(result.errors.substr(0, c.says_why ? reason.size() : 0), c.says_why ? reason : "")
        << (c.setting ? c.setting : "unset");
    EXPECT_EQ(result.errors.empty(), !c.says_why) << (c.setting ? c.setting : "unset");
  }
}

}  // namespace
